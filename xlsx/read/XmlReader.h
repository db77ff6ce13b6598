#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spreadsheet {

// A pull reader over one XML part, on libxml2's SAX2 parser fed a piece at a time: namespaces
// resolved (any prefix), comments and processing instructions skipped, CDATA, character
// references and the five predefined entities delivered as text, adjacent texts as one. It never loads a DTD or an external entity and
// expands no other entity: a document type declaration is refused. Malformed XML throws
// SpreadsheetError 1004 naming the part and line. The text must outlive the reader.
class XmlReader {
 public:
  enum class Node { Start, End, Text };

  XmlReader(std::string_view xml, std::string part);
  // One document given as pieces that follow one another (the parser sees their
  // concatenation, without a copy), for a caller that reads part of a document apart.
  // Malformed XML names the line within the pieces as given, not as in a larger file.
  XmlReader(std::vector<std::string_view> pieces, std::string part);
  ~XmlReader();
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  // The next element start, element end or text; false after the document's end. An empty
  // element (<a/> or <a></a>) gives Start with SelfClosed() and no End. Names and namespaces
  // stay valid as long as the reader; texts and attribute values until the next Read().
  bool Read();
  Node Kind() const { return kind_; }
  std::string_view Name() const;       // of a Start or End: local name, without prefix
  std::string_view Namespace() const;  // of a Start or End: URI; empty for none
  int Depth() const;                   // the root element is at 0
  bool SelfClosed() const;
  std::string_view Value() const;      // of a Text node

  // An attribute of the current start element: without a namespace, or in one of the given
  // namespaces (nullptr ends the list). Valid until the next Read().
  std::optional<std::string_view> Attribute(std::string_view name) const;
  std::optional<std::string_view> Attribute(std::string_view name, const char* const* namespaces) const;

  // The attributes without a namespace of the current start element, up to `max` of them,
  // as (local name, value); returns how many. Valid until the next Read().
  struct Attr {
    std::string_view name, value;
  };
  int Attributes(Attr* out, int max) const;

  // From a start element: all text inside it, in document order, except inside descendants
  // named `skip` (rPh, phonetic runs). Leaves the reader on the element's end.
  std::string ElementText(std::string_view skip = {});
  // From a start element: moves past its subtree; the next Read() gives what follows it.
  void Skip();

  // Where the parser stood once piece `i` (not the last) had been parsed whole: the depth of
  // the next element it would start, or -1 when it had not reached the piece's end, stopped, or
  // held bytes of the piece back (the piece ended inside markup).
  int DepthAfterPiece(std::size_t i) const;

  const std::string& Part() const { return part_; }
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  [[noreturn]] void Malformed() const;

  struct Impl;
  Impl* impl_;
  std::string part_;
  Node kind_ = Node::Start;
};

// The namespaces of a workbook's main markup, transitional and strict.
bool IsSpreadsheetNamespace(std::string_view uri);
bool IsRelationshipsNamespace(std::string_view uri);
extern const char* const kRelationshipNamespaces[];

}  // namespace spreadsheet
