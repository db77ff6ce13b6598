#include "calc/ReferenceRewriter.h"

#include <algorithm>
#include <vector>

#include "calc/FormulaLexer.h"
#include "calc/WorkbookSource.h"
#include "workbook/CellAddress.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {

namespace {

constexpr std::string_view kRefError = "#REF!";

std::string Column(int c, bool absolute) { return (absolute ? "$" : "") + CellAddress::ColumnName(c); }
std::string Row(int r, bool absolute) { return (absolute ? "$" : "") + std::to_string(r + 1); }

std::string Print(const Reference& r) {
  if (r.wholeColumns) return Column(r.column0, r.absoluteColumn0) + ":" + Column(r.column1, r.absoluteColumn1);
  if (r.wholeRows) return Row(r.row0, r.absoluteRow0) + ":" + Row(r.row1, r.absoluteRow1);
  std::string out = Column(r.column0, r.absoluteColumn0) + Row(r.row0, r.absoluteRow0);
  if (r.row0 != r.row1 || r.column0 != r.column1) {
    out += ":" + Column(r.column1, r.absoluteColumn1) + Row(r.row1, r.absoluteRow1);
  }
  return out;
}

// Replaces each reference token of a formula that parses by what `rewrite` makes of it
// (nullopt: #REF!); everything between references is copied as written.
template <class F>
std::string Rewrite(std::string_view formula, F rewrite, const std::string* prefix = nullptr) {
  try {
    Formula::Parse(formula);
  } catch (const SpreadsheetError&) {
    return std::string(formula);
  }
  FormulaLexer lexer(formula);
  std::string out;
  out.reserve(formula.size() + 8);
  std::size_t copied = 0;
  for (FormulaToken t = lexer.Next(); t.kind != FormulaToken::Kind::End; t = lexer.Next()) {
    if (t.kind != FormulaToken::Kind::Ref || !t.inSheet) continue;
    Reference r = t.ref;
    if (!rewrite(t, r)) continue;
    out.append(formula.substr(copied, t.begin - copied));
    if (r.row0 < 0) {
      out.append(kRefError);
    } else {
      if (prefix && t.hasSheet) {
        out.append(*prefix);
      } else {
        out.append(formula.substr(t.begin, t.cellBegin - t.begin));
      }
      out.append(Print(r));
    }
    copied = t.end;
  }
  out.append(formula.substr(copied));
  return out;
}

// Moves [first, last] (a reference's rows or columns) through the change along its axis;
// false when every target was deleted or a single one pushed past `limit`.
bool Through(int& first, int& last, int at, int count, int limit) {
  if (count > 0) {
    if (first >= at) {
      first += count;
      last += count;
    } else if (last >= at) {
      last += count;
    }
    if (first >= limit) return false;
    if (last >= limit) last = limit - 1;
    return true;
  }
  const int n = -count;
  const int end = at + n - 1;
  if (last < at) return true;
  if (first > end) {
    first -= n;
    last -= n;
    return true;
  }
  if (first >= at && last <= end) return false;
  const int newFirst = first < at ? first : at;
  const int newLast = last > end ? last - n : at - 1;
  first = newFirst;
  last = newLast;
  return true;
}

}  // namespace

std::string ReferenceRewriter::Shift(std::string_view formula, int rows, int columns) {
  if (rows == 0 && columns == 0) return std::string(formula);
  return Rewrite(formula, [&](const FormulaToken&, Reference& r) {
    auto move = [](int& v, bool absolute, int by, int limit) {
      if (absolute) return true;
      const long moved = static_cast<long>(v) + by;
      if (moved < 0 || moved >= limit) return false;
      v = static_cast<int>(moved);
      return true;
    };
    bool ok = true;
    if (!r.wholeColumns) {
      ok = move(r.row0, r.absoluteRow0, rows, CellAddress::kMaxRows) &&
           move(r.row1, r.absoluteRow1, rows, CellAddress::kMaxRows);
    }
    if (ok && !r.wholeRows) {
      ok = move(r.column0, r.absoluteColumn0, columns, CellAddress::kMaxColumns) &&
           move(r.column1, r.absoluteColumn1, columns, CellAddress::kMaxColumns);
    }
    if (!ok) {
      r.row0 = -1;
      return true;
    }
    if (r.row0 > r.row1) {
      std::swap(r.row0, r.row1);
      std::swap(r.absoluteRow0, r.absoluteRow1);
    }
    if (r.column0 > r.column1) {
      std::swap(r.column0, r.column1);
      std::swap(r.absoluteColumn0, r.absoluteColumn1);
    }
    return true;
  });
}

std::string ReferenceRewriter::Adjust(std::string_view formula, std::string_view formulaSheet,
                                      const StructureChange& change) {
  if (change.count == 0) return std::string(formula);
  const bool rows = change.axis == StructureChange::Axis::Rows;
  const int limit = rows ? CellAddress::kMaxRows : CellAddress::kMaxColumns;
  // Beyond the sheet every change looks the same; clamping keeps the arithmetic in range.
  const int at = std::clamp(change.at, 0, limit);
  const int count = std::clamp(change.count, -limit, limit);
  return Rewrite(formula, [&](const FormulaToken& t, Reference& r) {
    if (!SameSheetName(t.hasSheet ? std::string_view(t.text) : formulaSheet, change.sheet)) return false;
    if (rows ? r.wholeColumns : r.wholeRows) return false;
    const bool kept = rows ? Through(r.row0, r.row1, at, count, limit) : Through(r.column0, r.column1, at, count, limit);
    if (!kept) r.row0 = -1;
    return true;
  });
}

std::string ReferenceRewriter::SheetPrefix(std::string_view name) {
  // Bare when the name alone is one bare name (not a reference, number or TRUE) that reads
  // back as the sheet before a reference.
  const std::string bare = std::string(name) + "!";
  try {
    FormulaLexer alone(name);
    const FormulaToken word = alone.Next();
    const std::string probe = bare + "A1";
    FormulaLexer qualified(probe);
    const FormulaToken t = qualified.Next();
    if (word.kind == FormulaToken::Kind::Name && word.end == name.size() && t.kind == FormulaToken::Kind::Ref &&
        t.hasSheet && t.text == name && qualified.Next().kind == FormulaToken::Kind::End) {
      return bare;
    }
  } catch (const SpreadsheetError&) {
  }
  std::string quoted = "'";
  for (char c : name) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'!";
}

std::string ReferenceRewriter::RenameSheet(std::string_view formula, std::string_view from, std::string_view to) {
  const std::string prefix = SheetPrefix(to);
  return Rewrite(
      formula, [&](const FormulaToken& t, Reference&) { return t.hasSheet && SameSheetName(t.text, from); }, &prefix);
}

namespace {

template <class F>
std::size_t RewriteWorkbook(Workbook& workbook, F rewrite) {
  std::size_t changed = 0;
  for (std::size_t s = 0; s < workbook.SheetCount(); ++s) {
    Worksheet& ws = workbook.SheetAt(s);
    for (int r = 0; r < ws.RowExtent(); ++r) {
      const int columns = static_cast<int>(ws.Row(r).size());
      for (int c = 0; c < columns; ++c) {
        if (!ws.Row(r)[static_cast<std::size_t>(c)].HasFormula()) continue;
        Cell& cell = ws.CellAt(CellAddress{r, c});
        std::string rewritten = rewrite(cell.formula.view(), ws.Name());
        if (rewritten != cell.formula.view()) {
          cell.formula = std::move(rewritten);
          ++changed;
        }
      }
    }
  }
  return changed;
}

}  // namespace

std::size_t ReferenceRewriter::RenameSheetInWorkbook(Workbook& workbook, std::string_view from, std::string_view to) {
  return RewriteWorkbook(workbook, [&](std::string_view f, const std::string&) { return RenameSheet(f, from, to); });
}

std::size_t ReferenceRewriter::AdjustWorkbook(Workbook& workbook, const StructureChange& change) {
  return RewriteWorkbook(workbook,
                         [&](std::string_view f, const std::string& sheet) { return Adjust(f, sheet, change); });
}

}  // namespace spreadsheet::calc
