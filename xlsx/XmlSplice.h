#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spreadsheet {

// Byte ranges of elements in XML text that the reader has already parsed as well formed, for
// a writer that replaces some elements and keeps every other byte. Comments, CDATA, processing
// instructions, the document type and quoted attribute values are stepped over, never taken
// for markup. Names are local (the prefix dropped).
struct XmlSpan {
  std::string_view name;
  std::size_t begin = 0, end = 0;                // the whole element
  std::size_t contentBegin = 0, contentEnd = 0;  // between its tags; empty when self-closed
  bool selfClosed = false;
};

class XmlSplice {
 public:
  // The root element; throws SpreadsheetError 1004 (naming `part`) when there is none.
  static XmlSpan Root(std::string_view xml, const std::string& part);
  static std::vector<XmlSpan> Children(std::string_view xml, const XmlSpan& parent);
  // The prefix ("x:") the element's start tag uses, or "".
  static std::string_view Prefix(std::string_view xml, const XmlSpan& element);
  // An attribute of the element's start tag by qualified name, its five predefined entities
  // and character references resolved; the range of its raw value in `range`.
  static std::optional<std::string> Attribute(std::string_view xml, const XmlSpan& element, std::string_view qname,
                                              std::pair<std::size_t, std::size_t>* range = nullptr);
};

// Edits of one XML text by byte ranges, applied in order of position.
class XmlEdits {
 public:
  void Replace(std::size_t begin, std::size_t end, std::string text);
  void Insert(std::size_t at, std::string text) { Replace(at, at, std::move(text)); }
  std::string Apply(std::string_view xml) const;
  bool Empty() const { return edits_.empty(); }

 private:
  struct Edit {
    std::size_t begin, end;
    std::string text;
  };
  std::vector<Edit> edits_;
};

}  // namespace spreadsheet
