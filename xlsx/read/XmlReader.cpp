#include "xlsx/read/XmlReader.h"

#include <libxml/xmlreader.h>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

enum NodeType {
  kElement = 1,
  kText = 3,
  kCdata = 4,
  kDocumentType = 10,
  kWhitespace = 13,
  kSignificantWhitespace = 14,
  kEndElement = 15,
};

std::string_view View(const xmlChar* s) { return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view{}; }

}  // namespace

const char* const kRelationshipNamespaces[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships", nullptr};

bool IsSpreadsheetNamespace(std::string_view uri) {
  return uri == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
         uri == "http://purl.oclc.org/ooxml/spreadsheetml/main";
}

bool IsRelationshipsNamespace(std::string_view uri) {
  return uri == kRelationshipNamespaces[0] || uri == kRelationshipNamespaces[1];
}

struct XmlReader::Impl {
  xmlTextReaderPtr reader = nullptr;
  std::string error;
  int errorLine = 0;
};

XmlReader::XmlReader(std::string_view xml, std::string part) : impl_(new Impl), part_(std::move(part)) {
  if (xml.size() > 0x7fffffff) {
    delete impl_;
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "部件“" + part_ + "”超过 2 GB");
  }
  // No XML_PARSE_NOENT (entity substitution) and no XML_PARSE_DTDLOAD: nothing but the
  // predefined entities is ever expanded; NONET keeps the parser off the network.
  impl_->reader = xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
  if (!impl_->reader) {
    delete impl_;
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法读取部件“" + part_ + "”");
  }
  xmlStructuredErrorFunc onError = [](void* context, xmlErrorPtr error) {
    auto* impl = static_cast<Impl*>(context);
    if (!error || !impl->error.empty()) return;
    impl->error = error->message ? error->message : "";
    while (!impl->error.empty() && (impl->error.back() == '\n' || impl->error.back() == ' ')) impl->error.pop_back();
    impl->errorLine = error->line;
  };
  xmlTextReaderSetStructuredErrorHandler(impl_->reader, onError, impl_);
}

XmlReader::~XmlReader() {
  xmlFreeTextReader(impl_->reader);
  delete impl_;
}

void XmlReader::Fail(const std::string& what) const {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "部件“" + part_ + "”" + what);
}

void XmlReader::Malformed() const {
  // libxml2's own message is English; the line is what helps a user.
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                         "不是有效的 Excel 工作簿：部件“" + part_ + "”不是格式正确的 XML（第 " +
                             std::to_string(impl_->errorLine) + " 行）");
}

bool XmlReader::Read() {
  for (;;) {
    int got = 0;
    if (pending_ >= 0) {
      // xmlTextReaderNext already stands on the node after the skipped subtree.
      got = pending_;
      pending_ = -1;
    } else {
      got = xmlTextReaderRead(impl_->reader);
    }
    if (got < 0 || !impl_->error.empty()) {
      Malformed();
    }
    if (got == 0) return false;
    switch (xmlTextReaderNodeType(impl_->reader)) {
      case kElement: kind_ = Node::Start; return true;
      case kEndElement: kind_ = Node::End; return true;
      case kText:
      case kCdata:
      case kWhitespace:
      case kSignificantWhitespace: kind_ = Node::Text; return true;
      case kDocumentType: Fail("含有文档类型声明（DTD），工作簿文件中不允许");
      default: break;  // comments, processing instructions, the declaration
    }
  }
}

std::string_view XmlReader::Name() const { return View(xmlTextReaderConstLocalName(impl_->reader)); }
std::string_view XmlReader::Namespace() const { return View(xmlTextReaderConstNamespaceUri(impl_->reader)); }
int XmlReader::Depth() const { return xmlTextReaderDepth(impl_->reader); }
bool XmlReader::SelfClosed() const { return xmlTextReaderIsEmptyElement(impl_->reader) == 1; }
std::string_view XmlReader::Value() const { return View(xmlTextReaderConstValue(impl_->reader)); }

bool XmlReader::IsPrefixBound(std::string_view prefix) const {
  const std::string p(prefix);
  xmlChar* uri = xmlTextReaderLookupNamespace(impl_->reader, reinterpret_cast<const xmlChar*>(p.c_str()));
  const bool bound = uri != nullptr;
  xmlFree(uri);
  return bound;
}

std::optional<std::string_view> XmlReader::Attribute(std::string_view name) const {
  static const char* const kNone[] = {nullptr};
  return Attribute(name, kNone);
}

std::optional<std::string_view> XmlReader::Attribute(std::string_view name, const char* const* namespaces) const {
  xmlTextReaderPtr r = impl_->reader;
  std::optional<std::string_view> found;
  if (xmlTextReaderMoveToFirstAttribute(r) != 1) return found;
  do {
    if (View(xmlTextReaderConstLocalName(r)) != name) continue;
    const std::string_view ns = View(xmlTextReaderConstNamespaceUri(r));
    bool wanted = ns.empty();
    for (const char* const* n = namespaces; !wanted && *n; ++n) wanted = ns == *n;
    // Namespace declarations (xmlns:x) are attributes to the reader too; they never match.
    if (wanted && ns != "http://www.w3.org/2000/xmlns/") {
      found = View(xmlTextReaderConstValue(r));
      break;
    }
  } while (xmlTextReaderMoveToNextAttribute(r) == 1);
  xmlTextReaderMoveToElement(r);
  return found;
}

int XmlReader::Attributes(Attr* out, int max) const {
  xmlTextReaderPtr r = impl_->reader;
  int n = 0;
  if (xmlTextReaderMoveToFirstAttribute(r) != 1) return 0;
  do {
    if (xmlTextReaderConstNamespaceUri(r) != nullptr) continue;
    if (n < max) out[n++] = Attr{View(xmlTextReaderConstLocalName(r)), View(xmlTextReaderConstValue(r))};
  } while (xmlTextReaderMoveToNextAttribute(r) == 1);
  xmlTextReaderMoveToElement(r);
  return n;
}

std::string XmlReader::ElementText(std::string_view skip) {
  std::string text;
  if (kind_ != Node::Start || SelfClosed()) return text;
  const int depth = Depth();
  while (Read()) {
    if (kind_ == Node::End && Depth() == depth) break;
    if (kind_ == Node::Text) {
      text.append(Value());
    } else if (kind_ == Node::Start && !skip.empty() && Name() == skip) {
      Skip();
    }
  }
  return text;
}

void XmlReader::Skip() {
  if (kind_ != Node::Start || SelfClosed()) return;
  const int got = xmlTextReaderNext(impl_->reader);
  if (got < 0 || !impl_->error.empty()) {
    Malformed();
  }
  pending_ = got;
}

}  // namespace spreadsheet
