#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/splice/XmlEdits.h"

namespace spreadsheet {

// Byte ranges of elements in UTF-8 XML text, as libxml2 parses it, for a writer that replaces
// some elements and keeps every other byte. Markup inside comments, CDATA, processing
// instructions and quoted attribute values is the parser's business and never taken for an
// element. Names are local (the prefix dropped); offsets count bytes from the text's start.
struct XmlSpan {
  std::string_view name;
  std::size_t begin = 0, end = 0;                // the whole element
  std::size_t contentBegin = 0, contentEnd = 0;  // between its tags; empty when self-closed
  bool selfClosed = false;
  // The element's children when the parse that found it listed them already (the root's
  // children and grandchildren are listed by the parse of the whole text); null otherwise.
  std::shared_ptr<const std::vector<XmlSpan>> children;
};

// An attribute of a start tag as written: `name="value"` from `begin` to `end`, its value raw
// (entities unresolved, quotes dropped).
struct XmlAttribute {
  std::string_view qname, value;
  std::size_t begin = 0, end = 0;
};

class XmlSplice {
 public:
  // The root element, the whole text parsed by libxml2. Throws SpreadsheetError 1004 naming
  // `part` when the text is not well formed, not UTF-8, declares a document type or has no
  // root element.
  static XmlSpan Root(std::string_view xml, const std::string& part);
  // The child elements of an element found by Root() or Children() in the same text, in order.
  // Listed by the parse that found the parent where it was near the root; otherwise the
  // parent's own bytes are parsed again (a few hundred bytes for a row of cells).
  static std::vector<XmlSpan> Children(std::string_view xml, const XmlSpan& parent);
  // The prefix ("x:") the element's start tag uses, or "".
  static std::string_view Prefix(std::string_view xml, const XmlSpan& element);
  // An attribute of the element's start tag by qualified name, its five predefined entities
  // and character references resolved; the range of its raw value in `range`.
  static std::optional<std::string> Attribute(std::string_view xml, const XmlSpan& element, std::string_view qname,
                                              std::pair<std::size_t, std::size_t>* range = nullptr);
  // Every attribute of the element's start tag, in order (namespace declarations included).
  static std::vector<XmlAttribute> Attributes(std::string_view xml, const XmlSpan& element);
};

}  // namespace spreadsheet
