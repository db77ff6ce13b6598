#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace spreadsheet {

// Receives XML text piece by piece, in order.
using XmlOutput = std::function<void(std::string_view)>;

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
