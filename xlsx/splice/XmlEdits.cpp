#include "xlsx/splice/XmlEdits.h"

#include <algorithm>

namespace spreadsheet {

void XmlEdits::Replace(std::size_t begin, std::size_t end, std::string text, int rank) {
  edits_.push_back(Edit{begin, end, std::move(text), nullptr, rank});
}

void XmlEdits::Replace(std::size_t begin, std::size_t end, Producer produce, int rank) {
  edits_.push_back(Edit{begin, end, {}, std::move(produce), rank});
}

std::string XmlEdits::Apply(std::string_view xml) const {
  std::string out;
  out.reserve(xml.size());
  Apply(xml, [&](std::string_view piece) { out.append(piece); });
  return out;
}

void XmlEdits::Apply(std::string_view xml, const XmlOutput& out) const {
  std::vector<const Edit*> order;
  for (const Edit& e : edits_) order.push_back(&e);
  // Insertions before a replacement starting at the same position, by rank among themselves;
  // stable, so insertions of one rank keep the order they were made in.
  std::stable_sort(order.begin(), order.end(), [](const Edit* a, const Edit* b) {
    if (a->begin != b->begin) return a->begin < b->begin;
    const bool aInserts = a->end == a->begin, bInserts = b->end == b->begin;
    if (aInserts != bInserts) return aInserts;
    return aInserts && a->rank < b->rank;
  });
  std::size_t pos = 0;
  for (const Edit* e : order) {
    if (e->begin < pos) continue;  // overlapping: the first edit wins
    if (e->begin > pos) out(xml.substr(pos, e->begin - pos));
    if (e->produce) e->produce(out);
    else if (!e->text.empty()) out(e->text);
    pos = e->end;
  }
  if (pos < xml.size()) out(xml.substr(pos));
}

}  // namespace spreadsheet
