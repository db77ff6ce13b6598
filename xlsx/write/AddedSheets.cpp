#include "xlsx/write/AddedSheets.h"

#include <algorithm>
#include <charconv>

#include "workbook/SpreadsheetError.h"
#include "xlsx/read/XmlReader.h"
#include "xlsx/write/ChartXml.h"
#include "xlsx/write/SheetXml.h"
#include "xlsx/splice/XmlSplice.h"

namespace spreadsheet {

namespace {

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kWorksheetType = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr const char* kDrawingType = "application/vnd.openxmlformats-officedocument.drawing+xml";
constexpr const char* kChartType = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";

// The whole number `text` spells, or -1.
long long Number(std::string_view text) {
  long long n = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  return ec == std::errc{} && end == text.data() + text.size() ? n : -1;
}

std::string Escaped(std::string_view text) {
  std::string out;
  SheetXml::AppendEscaped(out, text);
  return out;
}

}  // namespace

AddedSheets::AddedSheets(const OpcPackage& package, const std::string& workbookPart, std::string_view workbookXml,
                         const std::vector<OpcPackage::Relationship>& workbookRels)
    : folder_(workbookPart.substr(0, workbookPart.rfind('/') + 1)) {
  for (const ZipArchive::Entry& e : package.Zip().Entries()) entries_.insert(ZipArchive::Lower(e.name));
  for (const auto& rel : workbookRels) {
    relationIds_.insert(rel.id);
    if (worksheetType_.empty() && !rel.external && rel.type.ends_with("/worksheet")) worksheetType_ = rel.type;
  }
  if (worksheetType_.empty()) worksheetType_ = std::string(kRel) + "/worksheet";

  const XmlSpan root = XmlSplice::Root(workbookXml, workbookPart);
  for (const XmlAttribute& a : XmlSplice::Attributes(workbookXml, root)) {
    if (!a.qname.starts_with("xmlns:")) continue;
    for (const char* const* ns = kRelationshipNamespaces; *ns != nullptr; ++ns) {
      if (a.value == *ns && relationAttribute_.empty()) relationAttribute_ = std::string(a.qname.substr(6)) + ":id";
    }
  }
  // No prefix for the relationships on the root: each entry declares its own.
  if (relationAttribute_.empty()) relationAttribute_ = "xmlns:r=\"" + std::string(kRel) + "\" r:id";
  for (const XmlSpan& child : XmlSplice::Children(workbookXml, root)) {
    if (child.name != "sheets") continue;
    for (const XmlSpan& sheet : XmlSplice::Children(workbookXml, child)) {
      if (sheet.name != "sheet") continue;
      ++positions_;
      if (auto name = XmlSplice::Attribute(workbookXml, sheet, "name")) names_.insert(ZipArchive::Lower(*name));
      if (auto id = XmlSplice::Attribute(workbookXml, sheet, "sheetId")) {
        nextSheetId_ = static_cast<int>(std::max<long long>(nextSheetId_, Number(*id) + 1));
      }
    }
  }
}

int AddedSheets::NextNumber(const std::string& folder, const std::string& stem) const {
  const std::string prefix = ZipArchive::Lower(OpcPackage::EntryName(folder + stem));
  long long highest = 0;
  for (const std::string& e : entries_) {
    if (!e.starts_with(prefix)) continue;
    std::string_view rest = std::string_view(e).substr(prefix.size());
    for (std::string_view suffix : {".xml.rels", ".xml"}) {
      if (rest.ends_with(suffix)) highest = std::max(highest, Number(rest.substr(0, rest.size() - suffix.size())));
    }
  }
  // Also "<stem>N.xml.rels" under the folder's _rels: a relationship part left without its part.
  const std::string relsPrefix = ZipArchive::Lower(OpcPackage::EntryName(folder + "_rels/" + stem));
  for (const std::string& e : entries_) {
    if (!e.starts_with(relsPrefix) || !e.ends_with(".xml.rels")) continue;
    const std::string_view rest = std::string_view(e).substr(relsPrefix.size());
    highest = std::max(highest, Number(rest.substr(0, rest.size() - 9)));
  }
  return static_cast<int>(highest + 1);
}

std::pair<std::string, std::size_t> AddedSheets::Add(const Worksheet& sheet) {
  if (!names_.insert(ZipArchive::Lower(sheet.Name())).second) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "工作表名称“" + sheet.Name() + "”与原文件中的工作表重名，无法新增");
  }
  Planned p;
  p.name = sheet.Name();
  p.part = folder_ + "worksheets/sheet" + std::to_string(NextNumber(folder_ + "worksheets/", "sheet")) + ".xml";
  entries_.insert(ZipArchive::Lower(OpcPackage::EntryName(p.part)));
  for (int n = static_cast<int>(relationIds_.size()) + 1;; ++n) {
    p.relationId = "rId" + std::to_string(n);
    if (relationIds_.insert(p.relationId).second) break;
  }
  p.sheetId = nextSheetId_++;
  p.charts = sheet.Charts();
  if (!p.charts.empty()) {
    p.drawing = NextNumber(folder_ + "drawings/", "drawing");
    entries_.insert(ZipArchive::Lower(OpcPackage::EntryName(folder_ + "drawings/drawing" + std::to_string(p.drawing) + ".xml")));
    p.firstChart = NextNumber(folder_ + "charts/", "chart");
    for (std::size_t i = 0; i < p.charts.size(); ++i) {
      entries_.insert(ZipArchive::Lower(OpcPackage::EntryName(
          folder_ + "charts/chart" + std::to_string(p.firstChart + static_cast<int>(i)) + ".xml")));
    }
  }
  sheets_.push_back(std::move(p));
  return {sheets_.back().part, positions_++};
}

std::string AddedSheets::BlankSheet(bool drawing) {
  return std::string(kDeclaration) + "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
         "\"><dimension ref=\"A1\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
         "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
         "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>" +
         (drawing ? "<drawing r:id=\"rId1\"/>" : "") + "</worksheet>";
}

std::vector<std::pair<std::string, std::string>> AddedSheets::Parts() const {
  std::vector<std::pair<std::string, std::string>> parts;
  for (const Planned& p : sheets_) {
    if (p.charts.empty()) continue;
    const std::string drawing = "drawing" + std::to_string(p.drawing) + ".xml";
    parts.emplace_back(OpcPackage::EntryName(OpcPackage::RelsPartOf(p.part)),
                       std::string(kDeclaration) +
                           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                           "<Relationship Id=\"rId1\" Type=\"" + kRel + "/drawing\" Target=\"../drawings/" + drawing +
                           "\"/></Relationships>");
    parts.emplace_back(OpcPackage::EntryName(folder_ + "drawings/" + drawing), ChartXml::Drawing(p.charts));
    parts.emplace_back(OpcPackage::EntryName(OpcPackage::RelsPartOf(folder_ + "drawings/" + drawing)),
                       ChartXml::DrawingRels(p.charts.size(), p.firstChart));
    for (std::size_t i = 0; i < p.charts.size(); ++i) {
      parts.emplace_back(
          OpcPackage::EntryName(folder_ + "charts/chart" + std::to_string(p.firstChart + static_cast<int>(i)) + ".xml"),
          ChartXml::Chart(p.charts[i]));
    }
  }
  return parts;
}

std::string AddedSheets::SheetEntries(const std::string& prefix) const {
  std::string out;
  for (const Planned& p : sheets_) {
    out += "<" + prefix + "sheet name=\"" + Escaped(p.name) + "\" sheetId=\"" + std::to_string(p.sheetId) + "\" " +
           relationAttribute_ + "=\"" + p.relationId + "\"/>";
  }
  return out;
}

std::string AddedSheets::Relationships(const std::string& prefix) const {
  std::string out;
  for (const Planned& p : sheets_) {
    out += "<" + prefix + "Relationship Id=\"" + p.relationId + "\" Type=\"" + Escaped(worksheetType_) + "\" Target=\"" +
           p.part.substr(folder_.size()) + "\"/>";
  }
  return out;
}

std::string AddedSheets::ContentTypes(const std::string& prefix) const {
  std::string out;
  auto override = [&](const std::string& part, const char* type) {
    out += "<" + prefix + "Override PartName=\"" + Escaped(part) + "\" ContentType=\"" + type + "\"/>";
  };
  for (const Planned& p : sheets_) {
    override(p.part, kWorksheetType);
    if (p.charts.empty()) continue;
    override(folder_ + "drawings/drawing" + std::to_string(p.drawing) + ".xml", kDrawingType);
    for (std::size_t i = 0; i < p.charts.size(); ++i) {
      override(folder_ + "charts/chart" + std::to_string(p.firstChart + static_cast<int>(i)) + ".xml", kChartType);
    }
  }
  return out;
}

}  // namespace spreadsheet
