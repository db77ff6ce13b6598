// The writer's range finder against libxml2's tree of the same text: the input is the XML text
// itself. A text the tree parser takes as a UTF-8 document without a document type must be
// taken; then every element's span has the tree node's name and prefix, lies inside its
// parent's content after its previous sibling, starts and ends with its tags, has the node's
// attributes with the node's values, and the children found in the whole text are those found
// by parsing the element's own bytes.
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/splice/XmlSplice.h"

using levelbook::fuzz::Require;
using spreadsheet::XmlAttribute;
using spreadsheet::XmlSpan;
using spreadsheet::XmlSplice;

namespace {

std::string Text(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

std::string QName(const xmlChar* name, const xmlNs* ns) {
  return ns && ns->prefix ? Text(ns->prefix) + ":" + Text(name) : Text(name);
}

std::string_view Local(std::string_view qname) {
  const std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

void Compare(const std::string& xml, xmlDocPtr doc, const XmlSpan& span, xmlNodePtr node, int depth) {
  const std::string qname = QName(node->name, node->ns);
  Require(span.name == Local(qname), "name", qname);
  Require(std::string(XmlSplice::Prefix(xml, span)) + std::string(span.name) == qname, "prefix", qname);
  Require(span.begin < span.contentBegin && span.contentBegin <= span.contentEnd && span.contentEnd <= span.end &&
              span.end <= xml.size(),
          "span order", qname);
  Require(xml.compare(span.begin + 1, qname.size(), qname) == 0, "start tag", qname);
  if (span.selfClosed) {
    Require(span.contentBegin == span.end && xml.compare(span.end - 2, 2, "/>") == 0, "self-closed", qname);
  } else {
    Require(xml[span.contentBegin - 1] == '>' && xml.compare(span.contentEnd, 2 + qname.size(), "</" + qname) == 0 &&
                xml[span.end - 1] == '>',
            "end tag", qname);
  }

  std::size_t attributes = 0;
  for (const xmlNs* ns = node->nsDef; ns; ns = ns->next) ++attributes;
  for (xmlAttrPtr a = node->properties; a; a = a->next) {
    ++attributes;
    const std::string name = QName(a->name, a->ns);
    xmlChar* value = xmlNodeListGetString(doc, a->children, 1);
    const std::string expected = Text(value);
    xmlFree(value);
    std::pair<std::size_t, std::size_t> range;
    const auto found = XmlSplice::Attribute(xml, span, name, &range);
    Require(found.has_value() && *found == expected, "attribute value", name + "=" + expected);
    Require(range.first > span.begin && range.second < span.contentBegin && range.first <= range.second &&
                (xml[range.first - 1] == '"' || xml[range.first - 1] == '\'') && xml[range.second] == xml[range.first - 1],
            "attribute range", name);
  }
  const auto all = XmlSplice::Attributes(xml, span);
  Require(all.size() == attributes, "attribute count", qname);
  for (const XmlAttribute& a : all) {
    Require(xml.compare(a.begin, a.qname.size(), a.qname) == 0 && a.end <= span.contentBegin &&
                a.value.data() + a.value.size() + 1 == xml.data() + a.end,
            "attribute as written", a.qname);
  }

  const auto children = XmlSplice::Children(xml, span);
  std::size_t count = 0;
  std::size_t after = span.contentBegin;
  for (xmlNodePtr c = node->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE) continue;
    Require(count < children.size(), "fewer children", qname);
    const XmlSpan& child = children[count++];
    Require(child.begin >= after && child.end <= span.contentEnd, "child inside its parent", qname);
    after = child.end;
    if (depth < 64) Compare(xml, doc, child, c, depth + 1);
  }
  Require(count == children.size(), "more children", qname);
  if (span.children && !span.selfClosed) {
    XmlSpan alone = span;
    alone.children.reset();
    const auto again = XmlSplice::Children(xml, alone);
    Require(again.size() == children.size(), "children of the element's own bytes", qname);
    for (std::size_t i = 0; i < again.size(); ++i) {
      Require(again[i].begin == children[i].begin && again[i].end == children[i].end &&
                  again[i].contentBegin == children[i].contentBegin && again[i].contentEnd == children[i].contentEnd,
              "child span of the element's own bytes", qname);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::string xml(reinterpret_cast<const char*>(data), size);
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) return 0;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  // Namespace errors (an undeclared prefix, an empty namespace name) leave a tree that differs
  // from the text: such a text must still be taken, but is compared only by its acceptance.
  const bool namespaces = ctxt->nsWellFormed != 0;
  xmlFreeParserCtxt(ctxt);
  const bool plain = doc && !doc->intSubset && xmlDocGetRootElement(doc) &&
                     (!doc->encoding || xmlStrcasecmp(doc->encoding, BAD_CAST "UTF-8") == 0) &&
                     !(size >= 2 && (data[0] == 0xFE || data[0] == 0xFF || data[0] == 0 || data[1] == 0));
  try {
    const XmlSpan root = XmlSplice::Root(xml, "/fuzz.xml");
    Require(doc != nullptr, "taken where the tree parser refuses");
    if (plain && namespaces) Compare(xml, doc, root, xmlDocGetRootElement(doc), 0);
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(!plain, "refused where the tree parser takes it", e.Description());
  }
  xmlFreeDoc(doc);
  return 0;
}
