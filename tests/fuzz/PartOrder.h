#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/SpreadsheetError.h"
#include "xlsx/read/XmlReader.h"

namespace levelbook::fuzz {

// Children whose order the file format fixes (xsd:sequence), by parent, in that order. Spreadsheet
// programs other than ours refuse or "repair" a part whose children come in another order.
struct Sequence {
  std::string_view parent;
  std::vector<std::string_view> children;
};

inline const std::vector<Sequence>& Sequences() {
  static const std::vector<Sequence> sequences{
    {"worksheet",
     {"sheetPr", "dimension", "sheetViews", "sheetFormatPr", "cols", "sheetData", "sheetCalcPr", "sheetProtection",
      "protectedRanges", "scenarios", "autoFilter", "sortState", "dataConsolidate", "customSheetViews", "mergeCells",
      "phoneticPr", "conditionalFormatting", "dataValidations", "hyperlinks", "printOptions", "pageMargins",
      "pageSetup", "headerFooter", "rowBreaks", "colBreaks", "customProperties", "cellWatches", "ignoredErrors",
      "smartTags", "drawing", "legacyDrawing", "legacyDrawingHF", "drawingHF", "picture", "oleObjects", "controls",
      "webPublishItems", "tableParts", "extLst"}},
    {"workbook",
     {"fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews", "sheets", "functionGroups",
      "externalReferences", "definedNames", "calcPr", "oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr",
      "smartTagTypes", "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"}},
    {"styleSheet",
     {"numFmts", "fonts", "fills", "borders", "cellStyleXfs", "cellXfs", "cellStyles", "dxfs", "tableStyles", "colors",
      "extLst"}},
    {"sheetPr", {"tabColor", "outlinePr", "pageSetUpPr"}},
    {"sheetView", {"pane", "selection", "pivotSelection", "extLst"}},
    {"border", {"start", "end", "left", "right", "top", "bottom", "diagonal", "vertical", "horizontal"}},
    {"xf", {"alignment", "protection", "extLst"}},
    {"row", {"c", "extLst"}},
    {"c", {"f", "v", "is", "extLst"}},
  };
  return sequences;
}

// The first child of a spreadsheet element that is out of the file format's order, or a
// <row>/<c> out of ascending order, as "part: what"; "" when all is in order. Elements in
// other namespaces (extensions, drawings) are not looked at.
inline std::string PartOrderProblem(std::string_view xml, const std::string& part) {
  struct Open {
    std::string name;
    int rank = -1;  // of the last child seen
    long lastIndex = 0;  // of the last <row r> or <c r> seen, 1-based
  };
  std::vector<Open> open;
  spreadsheet::XmlReader r(xml, part);
  while (r.Read()) {
    if (r.Kind() == spreadsheet::XmlReader::Node::Text) continue;
    if (r.Kind() == spreadsheet::XmlReader::Node::End) {
      if (!open.empty()) open.pop_back();
      continue;
    }
    const bool ours = spreadsheet::IsSpreadsheetNamespace(r.Namespace());
    const std::string name(r.Name());
    if (ours && !open.empty()) {
      Open& parent = open.back();
      const auto seq = std::find_if(Sequences().begin(), Sequences().end(),
                                    [&](const Sequence& s) { return s.parent == parent.name; });
      if (seq != Sequences().end()) {
        const auto at = std::find(seq->children.begin(), seq->children.end(), name);
        if (at == seq->children.end()) return part + ": <" + name + "> inside <" + parent.name + ">";
        const int rank = static_cast<int>(at - seq->children.begin());
        if (rank < parent.rank) return part + ": <" + name + "> after <" + std::string(seq->children[static_cast<std::size_t>(parent.rank)]) + ">";
        parent.rank = rank;
      }
      if (name == "row" || name == "c") {
        // Rows by number, cells by column: "B7" → column 2, compared within the row.
        const std::string ref(r.Attribute("r").value_or(""));
        long index = 0;
        if (name == "row") {
          index = std::atol(ref.c_str());
        } else {
          for (const char ch : ref) {
            if (ch < 'A' || ch > 'Z') break;
            index = index * 26 + (ch - 'A' + 1);
          }
        }
        if (index <= parent.lastIndex) return part + ": <" + name + " r=\"" + ref + "\"> out of order";
        parent.lastIndex = index;
      }
    }
    if (!r.SelfClosed()) open.push_back({ours ? name : std::string(), -1, 0});
  }
  return {};
}

}  // namespace levelbook::fuzz
