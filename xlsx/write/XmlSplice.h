#pragma once

#include <cstddef>
#include <functional>
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

// An attribute of a start tag as written: `name="value"` from `begin` to `end`, its value raw
// (entities unresolved, quotes dropped).
struct XmlAttribute {
  std::string_view qname, value;
  std::size_t begin = 0, end = 0;
};

// Receives XML text piece by piece, in order.
using XmlOutput = std::function<void(std::string_view)>;

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
  // Every attribute of the element's start tag, in order (namespace declarations included).
  static std::vector<XmlAttribute> Attributes(std::string_view xml, const XmlSpan& element);
};

// Edits of one XML text by byte ranges, applied in order of position. A replacement may be
// produced only while the edits are applied (a large one written straight on, never held whole).
class XmlEdits {
 public:
  using Producer = std::function<void(const XmlOutput&)>;
  // Insertions at one position go out by ascending `rank` (an element's place in its parent's
  // order), those of equal rank in the order made.
  void Replace(std::size_t begin, std::size_t end, std::string text, int rank = 0);
  void Replace(std::size_t begin, std::size_t end, Producer produce, int rank = 0);
  void Insert(std::size_t at, std::string text, int rank = 0) { Replace(at, at, std::move(text), rank); }
  std::string Apply(std::string_view xml) const;
  void Apply(std::string_view xml, const XmlOutput& out) const;
  bool Empty() const { return edits_.empty(); }

 private:
  struct Edit {
    std::size_t begin, end;
    std::string text;
    Producer produce;
    int rank;
  };
  std::vector<Edit> edits_;
};

}  // namespace spreadsheet
