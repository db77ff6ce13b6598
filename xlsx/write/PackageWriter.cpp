#include "xlsx/write/PackageWriter.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <tuple>
#include <variant>
#include <vector>

#include "workbook/SpreadsheetError.h"
#include "xlsx/read/OpcPackage.h"
#include "xlsx/read/SheetDigest.h"
#include "xlsx/read/Utf8.h"
#include "xlsx/write/SheetExtras.h"
#include "xlsx/write/SheetXml.h"
#include "xlsx/write/StylesPatch.h"
#include "xlsx/read/XmlReader.h"
#include "xlsx/write/AddedSheets.h"
#include "xlsx/write/ChartXml.h"
#include "xlsx/splice/XmlSplice.h"
#include "xlsx/zip/ZipWriter.h"

namespace spreadsheet {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// Children of a worksheet in the order the file format requires.
constexpr std::string_view kSheetOrder[] = {
    "sheetPr",       "dimension",        "sheetViews",       "sheetFormatPr",  "cols",        "sheetData",
    "sheetCalcPr",   "sheetProtection",  "protectedRanges",  "scenarios",      "autoFilter",  "sortState",
    "dataConsolidate", "customSheetViews", "mergeCells",     "phoneticPr",     "conditionalFormatting",
    "dataValidations", "hyperlinks",     "printOptions",     "pageMargins",    "pageSetup",   "headerFooter",
    "rowBreaks",     "colBreaks",        "customProperties", "cellWatches",    "ignoredErrors", "smartTags",
    "drawing",       "legacyDrawing",    "legacyDrawingHF",  "drawingHF",      "picture",     "oleObjects",
    "controls",      "webPublishItems",  "tableParts",       "extLst"};

constexpr std::string_view kWorkbookOrder[] = {
    "fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews", "sheets", "functionGroups",
    "externalReferences", "definedNames", "calcPr", "oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr",
    "smartTagTypes", "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"};

// Replaces, removes (empty text) or inserts a child of `parent` where the order puts it.
class Children {
 public:
  Children(std::string_view xml, const XmlSpan& parent, const std::string_view* order, std::size_t orderSize,
           XmlEdits& edits)
      : xml_(xml), parent_(parent), children_(XmlSplice::Children(xml, parent)), order_(order, order + orderSize),
        edits_(edits) {}

  const XmlSpan* Find(std::string_view name) const {
    for (const XmlSpan& c : children_) {
      if (c.name == name) return &c;
    }
    return nullptr;
  }

  // A new child goes where the order puts it, also among others new at the same place.
  void Place(std::string_view name, std::string text) {
    if (const XmlSpan* existing = Find(name)) {
      edits_.Replace(existing->begin, existing->end, std::move(text));
    } else if (!text.empty()) {
      edits_.Insert(At(name), std::move(text), Rank(name));
    }
  }

  void Place(std::string_view name, XmlEdits::Producer produce) {
    const XmlSpan* existing = Find(name);
    const std::size_t begin = existing ? existing->begin : At(name);
    edits_.Replace(begin, existing ? existing->end : begin, std::move(produce), existing ? 0 : Rank(name));
  }

 private:
  // Where a new child goes: before the first existing one the order puts after it.
  std::size_t At(std::string_view name) const {
    bool after = false;
    for (std::string_view n : order_) {
      if (n == name) {
        after = true;
        continue;
      }
      if (!after) continue;
      if (const XmlSpan* next = Find(n)) return next->begin;
    }
    return parent_.contentEnd;
  }

  int Rank(std::string_view name) const {
    return static_cast<int>(std::find(order_.begin(), order_.end(), name) - order_.begin());
  }

  std::string_view xml_;
  XmlSpan parent_;
  std::vector<XmlSpan> children_;
  std::vector<std::string_view> order_;
  XmlEdits& edits_;
};

// An element's start tag made the opening of a non-empty element: "<a x='1'/>" → "<a x='1'>".
std::string OpenTag(std::string_view xml, const XmlSpan& e) {
  std::string tag(xml.substr(e.begin, (e.selfClosed ? e.end : e.contentBegin) - e.begin));
  if (e.selfClosed) {
    tag.erase(tag.rfind('/'));
    tag += '>';
  }
  return tag;
}

std::string CloseTag(std::string_view xml, const XmlSpan& e) {
  return "</" + std::string(XmlSplice::Prefix(xml, e)) + std::string(e.name) + ">";
}

struct Changes {
  bool cells = false, columns = false, merges = false, layout = false;
  bool Any() const { return cells || columns || merges || layout; }
};

// A part's text, inflated here rather than by the archive reader, which would check its CRC-32
// once more: the package's bytes are those checked when the workbook was read. Anything out of
// the ordinary is left to the reader and its errors.
std::string ReadPart(const OpcPackage& package, const std::string& part) {
  const ZipArchive::Entry* e = package.Zip().Find(OpcPackage::EntryName(part));
  if (!e || e->method != Z_DEFLATED || e->size >= 0xffffffffu || e->compressedSize >= 0xffffffffu) {
    return package.Read(part);
  }
  std::string raw = package.Zip().ReadRaw(*e);
  std::string text(static_cast<std::size_t>(e->size), '\0');
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
  z.next_in = reinterpret_cast<Bytef*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = reinterpret_cast<Bytef*>(text.data());
  z.avail_out = static_cast<uInt>(text.size());
  const int status = inflate(&z, Z_FINISH);
  const bool whole = status == Z_STREAM_END && z.total_out == e->size;
  inflateEnd(&z);
  return whole ? text : package.Read(part);
}

// A changed sheet part: its text as read, the edits that make it new and what its rows and
// columns held beyond the model. The new text is made while it is written, sheetData last.
struct SheetPatch {
  std::string xml;
  SheetExtras kept;
  XmlEdits edits;
};

void PatchSheet(SheetPatch& patch, const std::string& part, const Worksheet& ws, const Changes& ch) {
  const std::string_view xml = patch.xml;
  XmlEdits& edits = patch.edits;
  const XmlSpan root = XmlSplice::Root(xml, part);
  const std::string p(XmlSplice::Prefix(xml, root));
  Children children(xml, root, kSheetOrder, std::size(kSheetOrder), edits);
  patch.kept = SheetExtras(xml, ch.cells ? children.Find("sheetData") : nullptr,
                           ch.columns ? children.Find("cols") : nullptr);
  patch.kept.FollowMoves(ws);
  if (ch.cells) {
    children.Place("sheetData", [&ws, &kept = patch.kept, p](const XmlOutput& out) { SheetXml::SheetData(ws, p, kept, out); });
    children.Place("dimension", SheetXml::Dimension(ws, p));
  }
  if (ch.columns) children.Place("cols", SheetXml::Cols(ws, p, patch.kept));
  if (ch.merges) children.Place("mergeCells", SheetXml::MergeCells(ws, p));
  if (ch.layout) {
    const PrintSetup& print = ws.Print();
    children.Place("printOptions", SheetXml::PrintOptions(print, p));
    children.Place("pageMargins", SheetXml::PageMargins(print, p));
    // The file's page setup keeps what the model does not hold: its scale, the printer's
    // settings (a relation to their part), first page number and the like.
    std::string keptSetup;
    if (const XmlSpan* setup = children.Find("pageSetup")) {
      for (const XmlAttribute& a : XmlSplice::Attributes(xml, *setup)) {
        if (a.qname == "paperSize" || a.qname == "fitToWidth" || a.qname == "fitToHeight" ||
            a.qname == "orientation") {
          continue;
        }
        keptSetup += ' ';
        keptSetup += xml.substr(a.begin, a.end - a.begin);
      }
    }
    children.Place("pageSetup", SheetXml::PageSetup(print, p, keptSetup));
    children.Place("headerFooter", SheetXml::HeaderFooter(print, p));
    children.Place("rowBreaks", SheetXml::RowBreaks(print, p));
    const std::string fit = "<" + p + "pageSetUpPr fitToPage=\"" + (print.fitToWidth > 0 ? "1" : "0") + "\"/>";
    if (const XmlSpan* sheetPr = children.Find("sheetPr")) {
      const auto prChildren = XmlSplice::Children(xml, *sheetPr);
      const XmlSpan* setUp = nullptr;
      for (const XmlSpan& c : prChildren) {
        if (c.name == "pageSetUpPr") setUp = &c;
      }
      if (setUp) {
        edits.Replace(setUp->begin, setUp->end, fit);
      } else if (print.fitToWidth > 0) {
        edits.Replace(sheetPr->begin, sheetPr->end,
                      OpenTag(xml, *sheetPr) +
                          std::string(xml.substr(sheetPr->contentBegin, sheetPr->contentEnd - sheetPr->contentBegin)) +
                          fit + CloseTag(xml, *sheetPr));
      }
    } else if (print.fitToWidth > 0) {
      children.Place("sheetPr", "<" + p + "sheetPr>" + fit + "</" + p + "sheetPr>");
    }
    const std::string pane = SheetXml::Pane(ws.Frozen(), p);
    const XmlSpan* views = children.Find("sheetViews");
    const auto viewList = views ? XmlSplice::Children(xml, *views) : std::vector<XmlSpan>{};
    if (!viewList.empty() && viewList.front().name == "sheetView") {
      const XmlSpan& view = viewList.front();
      std::string inner(xml.substr(view.contentBegin, view.contentEnd - view.contentBegin));
      for (const XmlSpan& c : XmlSplice::Children(xml, view)) {
        if (c.name == "pane") {
          inner.erase(c.begin - view.contentBegin, c.end - c.begin);
          break;
        }
      }
      edits.Replace(view.begin, view.end, OpenTag(xml, view) + pane + inner + CloseTag(xml, view));
    } else if (!pane.empty()) {
      children.Place("sheetViews", "<" + p + "sheetViews><" + p + "sheetView workbookViewId=\"0\">" + pane + "</" + p +
                                       "sheetView></" + p + "sheetViews>");
    }
  }
}

std::string QuotedSheetName(const std::string& name) {
  std::string out = "'";
  for (char c : name) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// A sheet's charts in a new package: its relationship to drawing<n>.xml (the sheet refers to it
// as rId1), the drawing with its relationships and the chart parts, numbered after those added.
void AddCharts(const std::vector<ScatterChart>& charts, const std::string& n,
               std::vector<std::pair<std::string, std::string>>& parts, std::string& types) {
  if (charts.empty()) return;
  int first = 1;
  for (const auto& [name, content] : parts) first += name.starts_with("xl/charts/chart") ? 1 : 0;
  parts.emplace_back("xl/worksheets/_rels/sheet" + n + ".xml.rels",
                     std::string(kDeclaration) +
                         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                         "<Relationship Id=\"rId1\" Type=\"" + kRel + "/drawing\" Target=\"../drawings/drawing" + n +
                         ".xml\"/></Relationships>");
  parts.emplace_back("xl/drawings/drawing" + n + ".xml", ChartXml::Drawing(charts));
  parts.emplace_back("xl/drawings/_rels/drawing" + n + ".xml.rels", ChartXml::DrawingRels(charts.size(), first));
  types += "<Override PartName=\"/xl/drawings/drawing" + n +
           ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>";
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const std::string c = std::to_string(first + static_cast<int>(i));
    parts.emplace_back("xl/charts/chart" + c + ".xml", ChartXml::Chart(charts[i]));
    types += "<Override PartName=\"/xl/charts/chart" + c +
             ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawingml.chart+xml\"/>";
  }
}

// Refuses a name no spreadsheet program takes for a sheet.
void CheckSheetName(const std::string& name) {
  if (!Utf8::IsWellFormed(name) ||
      name.find_first_of(std::string("\0\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f", 32)) !=
          std::string::npos) {
    std::string shown;
    SheetXml::AppendEscaped(shown, name);
    Fail("工作表名称“" + shown + "”无效（含有控制字符或不是有效的 UTF-8 文本）");
  }
  if (name.find_first_of("[]:*?/\\") != std::string::npos || name.size() > 31 * 4 || name.front() == '\'' ||
      name.back() == '\'') {
    Fail("工作表名称“" + name + "”无效（不能含有 [ ] : * ? / \\，不能以 ' 开头或结尾）");
  }
}

// The package a workbook made here starts from: a workbook part, one empty sheet part per
// sheet, a styles part with the default format and the content types and relationships.
std::shared_ptr<const std::string> BlankPackage(const Workbook& wb) {
  auto bytes = std::make_shared<std::string>();
  ZipWriter zip(bytes.get());
  std::string types =
      std::string(kDeclaration) +
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
  std::string sheets, rels;
  std::vector<std::pair<std::string, std::string>> sheetParts;
  for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
    const std::string n = std::to_string(i + 1);
    const std::string& name = wb.SheetAt(i).Name();
    CheckSheetName(name);
    types += "<Override PartName=\"/xl/worksheets/sheet" + n +
             ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    sheets += "<sheet name=\"";
    SheetXml::AppendEscaped(sheets, name);
    sheets += "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + std::string(kRel) + "/worksheet\" Target=\"worksheets/sheet" + n +
            ".xml\"/>";
    sheetParts.emplace_back("xl/worksheets/sheet" + n + ".xml", AddedSheets::BlankSheet(!wb.SheetAt(i).Charts().empty()));
    AddCharts(wb.SheetAt(i).Charts(), n, sheetParts, types);
  }
  zip.Add("[Content_Types].xml", types + "</Types>");
  for (const auto& [name, content] : sheetParts) zip.Add(name, content);
  zip.Add("_rels/.rels", std::string(kDeclaration) +
                             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                             "<Relationship Id=\"rId1\" Type=\"" + kRel +
                             "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
  zip.Add("xl/workbook.xml", std::string(kDeclaration) + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                                 "\">" + (wb.Dates() == DateSystem::From1904 ? "<workbookPr date1904=\"1\"/>" : "") +
                                 "<bookViews><workbookView activeTab=\"0\"/></bookViews><sheets>" + sheets +
                                 "</sheets></workbook>");
  const std::string n = std::to_string(wb.SheetCount() + 1);
  zip.Add("xl/_rels/workbook.xml.rels",
          std::string(kDeclaration) +
              "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + rels +
              "<Relationship Id=\"rId" + n + "\" Type=\"" + kRel + "/styles\" Target=\"styles.xml\"/></Relationships>");
  zip.Add("xl/styles.xml",
          std::string(kDeclaration) + "<styleSheet xmlns=\"" + kMain +
              "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
              "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
              "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
              "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
              "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
              "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
              "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
              "</styleSheet>");
  zip.Finish();
  return bytes;
}

struct SheetSlot {
  std::string part;
  std::size_t position = 0;  // among the workbook part's <sheet> elements
};

// The worksheet parts in the workbook part's order, with every <sheet>'s position.
std::vector<SheetSlot> SheetSlots(const std::string& workbookXml, const std::string& workbookPart,
                                  const std::vector<OpcPackage::Relationship>& rels) {
  std::vector<SheetSlot> slots;
  XmlReader r(workbookXml, workbookPart);
  std::size_t position = 0;
  while (r.Read()) {
    if (r.Kind() != XmlReader::Node::Start || r.Name() != "sheet" || !IsSpreadsheetNamespace(r.Namespace())) continue;
    const std::string id(r.Attribute("id", kRelationshipNamespaces).value_or(""));
    for (const auto& rel : rels) {
      if (rel.id == id && !rel.external) slots.push_back(SheetSlot{ZipArchive::Lower(rel.target), position});
    }
    ++position;
  }
  return slots;
}

// `recalculate`: some formula has no stored result, so spreadsheet programs are asked to
// calculate the whole workbook when they open it (calcPr fullCalcOnLoad). `settled`: every
// result is stored, so a request of the original file to recalculate is withdrawn.
std::string PatchWorkbook(std::string_view xml, const std::string& part, const Workbook& wb,
                          const std::vector<std::size_t>& positions, const std::vector<bool>& titles, bool activeTab,
                          bool recalculate, bool settled, const AddedSheets* added) {
  const XmlSpan root = XmlSplice::Root(xml, part);
  const std::string p(XmlSplice::Prefix(xml, root));
  XmlEdits edits;
  Children children(xml, root, kWorkbookOrder, std::size(kWorkbookOrder), edits);
  if (added && !added->Empty()) {
    const XmlSpan* sheets = children.Find("sheets");
    if (!sheets) Fail("原文件的工作簿部件中没有工作表列表");
    const std::string entries = added->SheetEntries(p);
    if (sheets->selfClosed) {
      edits.Replace(sheets->begin, sheets->end, OpenTag(xml, *sheets) + entries + CloseTag(xml, *sheets));
    } else {
      edits.Insert(sheets->contentEnd, entries);
    }
  }
  if (recalculate) {
    if (const XmlSpan* calc = children.Find("calcPr")) {
      std::pair<std::size_t, std::size_t> range;
      if (XmlSplice::Attribute(xml, *calc, "fullCalcOnLoad", &range)) {
        edits.Replace(range.first, range.second, "1");
      } else {
        edits.Insert(calc->begin + 1 + XmlSplice::Prefix(xml, *calc).size() + calc->name.size(),
                     " fullCalcOnLoad=\"1\"");
      }
    } else {
      children.Place("calcPr", "<" + p + "calcPr fullCalcOnLoad=\"1\"/>");
    }
  } else if (settled) {
    if (const XmlSpan* calc = children.Find("calcPr")) {
      std::pair<std::size_t, std::size_t> range;
      if (XmlSplice::Attribute(xml, *calc, "fullCalcOnLoad", &range)) edits.Replace(range.first, range.second, "0");
    }
  }
  if (activeTab) {
    const std::string tab = std::to_string(positions[wb.ActiveSheet()]);
    const XmlSpan* views = children.Find("bookViews");
    const auto viewList = views ? XmlSplice::Children(xml, *views) : std::vector<XmlSpan>{};
    if (!viewList.empty()) {
      std::pair<std::size_t, std::size_t> range;
      if (XmlSplice::Attribute(xml, viewList.front(), "activeTab", &range)) {
        edits.Replace(range.first, range.second, tab);
      } else {
        const std::size_t at = viewList.front().begin + 1 + XmlSplice::Prefix(xml, viewList.front()).size() +
                               viewList.front().name.size();
        edits.Insert(at, " activeTab=\"" + tab + "\"");
      }
    } else {
      children.Place("bookViews", "<" + p + "bookViews><" + p + "workbookView activeTab=\"" + tab + "\"/></" + p +
                                      "bookViews>");
    }
  }
  bool anyTitles = false;
  for (bool t : titles) anyTitles = anyTitles || t;
  if (anyTitles) {
    const XmlSpan* names = children.Find("definedNames");
    const auto nameList = names ? XmlSplice::Children(xml, *names) : std::vector<XmlSpan>{};
    std::string added;
    for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
      if (!titles[i]) continue;
      const PrintSetup& print = wb.SheetAt(i).Print();
      const bool wanted = print.repeatRowsFirst >= 0 && print.repeatRowsLast >= print.repeatRowsFirst;
      std::string text;
      if (wanted) {
        SheetXml::AppendEscaped(text, QuotedSheetName(wb.SheetAt(i).Name()) + "!$" +
                                          std::to_string(print.repeatRowsFirst + 1) + ":$" +
                                          std::to_string(print.repeatRowsLast + 1));
      }
      const XmlSpan* existing = nullptr;
      for (const XmlSpan& n : nameList) {
        if (XmlSplice::Attribute(xml, n, "name") == std::optional<std::string>("_xlnm.Print_Titles") &&
            XmlSplice::Attribute(xml, n, "localSheetId") == std::optional<std::string>(std::to_string(positions[i]))) {
          existing = &n;
        }
      }
      if (existing && wanted) {
        edits.Replace(existing->contentBegin, existing->contentEnd, text);
      } else if (existing) {
        edits.Replace(existing->begin, existing->end, "");
      } else if (wanted) {
        added += "<" + p + "definedName name=\"_xlnm.Print_Titles\" localSheetId=\"" + std::to_string(positions[i]) +
                 "\">" + text + "</" + p + "definedName>";
      }
    }
    if (!added.empty()) {
      if (names && !names->selfClosed) {
        edits.Insert(names->contentEnd, added);
      } else {
        children.Place("definedNames", "<" + p + "definedNames>" + added + "</" + p + "definedNames>");
      }
    }
  }
  return edits.Apply(xml);
}

// Removes the children of the root for which `drop` holds.
template <typename Drop>
std::string Without(std::string_view xml, const std::string& part, Drop drop) {
  const XmlSpan root = XmlSplice::Root(xml, part);
  XmlEdits edits;
  for (const XmlSpan& c : XmlSplice::Children(xml, root)) {
    if (drop(c)) edits.Replace(c.begin, c.end, "");
  }
  return edits.Apply(xml);
}

// `children` added at the end of the root's content.
std::string WithChildren(std::string_view xml, const std::string& part, const std::string& children) {
  const XmlSpan root = XmlSplice::Root(xml, part);
  XmlEdits edits;
  if (root.selfClosed) {
    edits.Replace(root.begin, root.end, OpenTag(xml, root) + children + CloseTag(xml, root));
  } else {
    edits.Insert(root.contentEnd, children);
  }
  return edits.Apply(xml);
}

// Reads the written file's directory back: every entry written there, with the names, sizes
// and CRCs kept while writing (a short or failed write leaves no such directory).
void Verify(int fd, const ZipWriter& zip) {
  try {
    zip.Check(ZipArchive(fd));
  } catch (const SpreadsheetError& e) {
    Fail("写入失败：写入的文件不完整（" + e.Description() + "），可能是磁盘空间不足或文件大小超过限制");
  }
}

constexpr const char* kMainTypes[] = {
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
};

// The content types with the workbook part's type set to the one of `kind`: its Override's
// value replaced, or an Override added where the type came from a Default.
std::string WithMainType(const std::string& types, const std::string& workbookPart, PackageWriter::Kind kind) {
  const std::string typesPart = "/[Content_Types].xml";
  const std::string wanted = kMainTypes[static_cast<int>(kind)];
  const XmlSpan root = XmlSplice::Root(types, typesPart);
  XmlEdits edits;
  for (const XmlSpan& c : XmlSplice::Children(types, root)) {
    const auto name = XmlSplice::Attribute(types, c, "PartName");
    if (c.name != "Override" || !name || ZipArchive::Lower(*name) != ZipArchive::Lower(workbookPart)) continue;
    std::pair<std::size_t, std::size_t> range;
    const auto type = XmlSplice::Attribute(types, c, "ContentType", &range);
    if (type == wanted) return types;
    if (!type) Fail("[Content_Types].xml 中工作簿部件的内容类型缺失");
    edits.Replace(range.first, range.second, wanted);
    return edits.Apply(types);
  }
  std::string added = "<" + std::string(XmlSplice::Prefix(types, root)) + "Override PartName=\"";
  SheetXml::AppendEscaped(added, workbookPart);
  added += "\" ContentType=\"" + wanted + "\"/>";
  if (root.selfClosed) Fail("[Content_Types].xml 中没有任何内容类型");
  edits.Insert(root.contentEnd, added);
  return edits.Apply(types);
}

// A part's new content, made while its entry is written.
using Content = std::function<void(const XmlOutput&)>;

Content Text(std::string text) {
  return [text = std::move(text)](const XmlOutput& out) { out(text); };
}

}  // namespace

PackageWriter::Kind PackageWriter::KindOf(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Kind::Other;
  const std::string ext = ZipArchive::Lower(std::string_view(path).substr(dot));
  if (ext == ".xlsx") return Kind::Workbook;
  if (ext == ".xlsm") return Kind::MacroWorkbook;
  if (ext == ".xltx") return Kind::Template;
  if (ext == ".xltm") return Kind::MacroTemplate;
  return Kind::Other;
}

void PackageWriter::Write(const Workbook& wb, const std::string& path, Kind kind) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail(std::string("无法创建文件（") + std::strerror(errno) + "）");
  try {
    Write(wb, fd, kind);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

void PackageWriter::Write(const Workbook& wb, int fd, Kind kind) { Write(wb, fd, kind, nullptr); }

void PackageWriter::WriteReleasing(Workbook& wb, int fd, Kind kind) { Write(wb, fd, kind, &wb); }

void PackageWriter::Write(const Workbook& wb, int fd, Kind kind, Workbook* releasing) {
  if (wb.SheetCount() == 0) Fail("工作簿中没有工作表");
  const PackageOrigin* origin = wb.Origin();
  const bool fresh = !origin || !origin->bytes;
  const std::shared_ptr<const std::string> bytes = fresh ? BlankPackage(wb) : origin->bytes;
  // A file without a styles part still has the default format, the model's style 0.
  const std::uint32_t styleCount = fresh ? 1 : std::max<std::uint32_t>(origin->styleCount, 1);
  const OpcPackage package(bytes);

  const auto rootRels = package.Relationships("/");
  const OpcPackage::Relationship* office = OpcPackage::OfKind(rootRels, "officeDocument");
  if (!office) Fail("原文件缺少工作簿部件");
  const std::string workbookPart = office->target;
  const std::string workbookXml = package.Read(workbookPart);
  const auto rels = package.Relationships(workbookPart);
  const std::vector<SheetSlot> slots = SheetSlots(workbookXml, workbookPart, rels);
  if (OpcPackage::OfKind(rels, "vbaProject") && (kind == Kind::Workbook || kind == Kind::Template)) {
    const char* ext = kind == Kind::Workbook ? ".xlsx" : ".xltx";
    const char* macro = kind == Kind::Workbook ? ".xlsm" : ".xltm";
    Fail(std::string("工作簿含有宏（VBA 项目），不能保存为 ") + ext + " 文件（电子表格程序会拒绝打开）；请选择扩展名 " +
         macro + " 保存");
  }

  std::map<std::string, Content> replaced;  // lower-case entry name → new content
  std::vector<std::pair<std::string, Content>> created;  // entries the package lacks, in order
  std::optional<AddedSheets> added;  // planned when the model holds a sheet the file lacks
  std::set<std::string> dropped;
  std::vector<std::size_t> positions(wb.SheetCount());
  std::vector<bool> titles(wb.SheetCount(), false);
  bool anyCells = false;
  // Per sheet, whether a formula there has no result to store (the engine could not compute
  // it), found with its digest before its cells are released. Every other formula's result is
  // kept true by the recalculation as cells change.
  std::vector<bool> uncomputedIn(wb.SheetCount(), false);
  bool anyReleased = false;
  // The changed sheets of a releasing save whose text is still to be made.
  const auto sheetsLeft = std::make_shared<std::size_t>(0);
  for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
    const Worksheet& ws = wb.SheetAt(i);
    std::string part = fresh ? "/xl/worksheets/sheet" + std::to_string(i + 1) + ".xml" : ws.Origin().part;
    // A sheet made after reading: new parts in the package, written whole.
    const bool made = !fresh && part.empty();
    if (made) {
      CheckSheetName(ws.Name());
      if (!added) added.emplace(package, workbookPart, workbookXml, rels);
      std::tie(part, positions[i]) = added->Add(ws);
    } else {
      const SheetSlot* slot = nullptr;
      for (const SheetSlot& s : slots) {
        if (s.part == ZipArchive::Lower(part)) slot = &s;
      }
      if (part.empty() || !slot) Fail("工作表“" + ws.Name() + "”不在原文件中（读取后新增的工作表无法保存到原文件）");
      positions[i] = slot->position;
    }
    bool uncomputedHere = false;
    const SheetOrigin now = SheetDigest::Of(ws, part, &uncomputedHere);
    uncomputedIn[i] = uncomputedHere;
    const SheetOrigin& then = ws.Origin();
    const bool whole = fresh || made;
    Changes ch;
    // Rows or columns moved: what the file holds on them beyond the model (hidden, outline) moves
    // too, even where no cell or width shows the move.
    ch.cells = whole || now.cells != then.cells || ws.MovedSinceOrigin();
    ch.columns = whole || now.columns != then.columns || ws.MovedSinceOrigin();
    ch.merges = whole || now.merges != then.merges;
    ch.layout = whole || now.layout != then.layout;
    titles[i] = ch.layout;
    if (then.clipped && (ch.cells || ch.columns)) {
      Fail("工作表“" + ws.Name() + "”有超出 65536 行 × 256 列的内容，读取时没有读入，不能保存对它的修改");
    }
    if (ws.CellsReleased() && ch.cells) Fail("工作表“" + ws.Name() + "”的单元格已释放，不能保存对它的修改");
    if (ws.CellsDiscarded()) Fail("工作表“" + ws.Name() + "”的单元格已在保存后释放，不能再次保存");
    if (releasing && !fresh && !ch.cells && !ws.CellsReleased()) {
      releasing->SheetAt(i).ReleaseCells();
      anyReleased = true;
    }
    // Released by the caller before: their memory, and what was made in it since and freed
    // again, is as resident.
    if (releasing && ws.CellsReleased()) anyReleased = true;
    anyCells = anyCells || ch.cells;
    if (ch.Any()) {
      auto patch = std::make_shared<SheetPatch>();
      patch->xml = made ? AddedSheets::BlankSheet(!ws.Charts().empty()) : ReadPart(package, part);
      PatchSheet(*patch, part, ws, ch);
      Content content = [patch](const XmlOutput& out) { patch->edits.Apply(patch->xml, out); };
      if (releasing && ch.cells) {
        // The text made, the cells go before the next changed sheet's text is gathered (beside
        // this one's, still being deflated); the last sheet's stay, as nothing comes after it.
        content = [patch, releasing, i, sheetsLeft](const XmlOutput& out) {
          patch->edits.Apply(patch->xml, out);
          if (--*sheetsLeft == 0) return;
          releasing->SheetAt(i).DiscardCells();
          ::malloc_trim(0);
        };
        ++*sheetsLeft;
      }
      if (made) {
        created.emplace_back(OpcPackage::EntryName(part), std::move(content));
      } else {
        replaced[OpcPackage::EntryName(ZipArchive::Lower(part))] = std::move(content);
      }
    }
  }

  if (wb.StyleCount() > styleCount) {
    const OpcPackage::Relationship* styles = OpcPackage::OfKind(rels, "styles");
    if (!styles) Fail("原文件没有样式部件，无法保存新增的单元格格式");
    replaced[OpcPackage::EntryName(ZipArchive::Lower(styles->target))] =
        Text(StylesPatch::Append(package.Read(styles->target), styles->target, wb, styleCount));
  }

  const bool activeTab = fresh ? wb.ActiveSheet() != 0 : wb.ActiveSheet() != origin->activeSheet;
  bool anyTitles = false;
  for (bool t : titles) anyTitles = anyTitles || t;
  // The released cells lie amid the heap, where the allocator keeps freed memory resident:
  // handed back to the system before the changed sheets' text is gathered beside them.
  if (anyReleased) ::malloc_trim(0);
  const bool recalculate = anyCells && std::find(uncomputedIn.begin(), uncomputedIn.end(), true) != uncomputedIn.end();
  const bool settled = !fresh && anyCells && !recalculate;
  const bool sheetsAdded = added && !added->Empty();
  if (sheetsAdded) {
    for (auto& [name, text] : added->Parts()) created.emplace_back(name, Text(std::move(text)));
  }
  if (activeTab || anyTitles || recalculate || settled || sheetsAdded) {
    // A part the patch leaves as it was goes out as stored (no request was withdrawn).
    std::string patched = PatchWorkbook(workbookXml, workbookPart, wb, positions, titles, activeTab, recalculate, settled,
                                        sheetsAdded ? &*added : nullptr);
    if (patched != workbookXml) replaced[OpcPackage::EntryName(ZipArchive::Lower(workbookPart))] = Text(std::move(patched));
  }

  const std::string typesPart = "/[Content_Types].xml";
  const std::string typesXml = package.Has(typesPart) ? package.Read(typesPart) : std::string();
  std::string types = kind == Kind::Other || typesXml.empty() ? typesXml : WithMainType(typesXml, workbookPart, kind);
  const std::string relsPart = OpcPackage::RelsPartOf(workbookPart);
  std::optional<std::string> relsXml;  // the workbook part's relationships when they change
  // Cells changed: the calculation chain may name cells that hold no formula any more, which
  // spreadsheet programs report as damage; without it they rebuild it.
  if (const OpcPackage::Relationship* chain = OpcPackage::OfKind(rels, "calcChain");
      chain && anyCells && !typesXml.empty()) {
    dropped.insert(OpcPackage::EntryName(ZipArchive::Lower(chain->target)));
    const std::string read = package.Read(relsPart);
    relsXml = Without(read, relsPart, [&](const XmlSpan& c) { return XmlSplice::Attribute(read, c, "Id") == chain->id; });
    types = Without(types, typesPart, [&](const XmlSpan& c) {
      const auto name = XmlSplice::Attribute(types, c, "PartName");
      return c.name == "Override" && name && ZipArchive::Lower(*name) == ZipArchive::Lower(chain->target);
    });
  }
  if (sheetsAdded) {
    if (typesXml.empty()) Fail("原文件缺少 [Content_Types].xml，无法新增工作表");
    if (!relsXml) relsXml = package.Read(relsPart);
    *relsXml = WithChildren(*relsXml, relsPart,
                            added->Relationships(std::string(XmlSplice::Prefix(*relsXml, XmlSplice::Root(*relsXml, relsPart)))));
    types = WithChildren(types, typesPart,
                         added->ContentTypes(std::string(XmlSplice::Prefix(types, XmlSplice::Root(types, typesPart)))));
  }
  if (relsXml) replaced[OpcPackage::EntryName(ZipArchive::Lower(relsPart))] = Text(std::move(*relsXml));
  if (types != typesXml) replaced[ZipArchive::Lower("[Content_Types].xml")] = Text(std::move(types));

  if (::ftruncate(fd, 0) != 0) Fail(std::string("无法写入文件（") + std::strerror(errno) + "）");
  ZipWriter zip(fd);
  for (const ZipArchive::Entry& e : package.Zip().Entries()) {
    const std::string key = ZipArchive::Lower(e.name);
    if (dropped.count(key)) continue;
    if (auto it = replaced.find(key); it != replaced.end()) {
      zip.Open(e.name, e.size >= 0xffffffffu, e.utf8Name);
      it->second([&zip](std::string_view piece) { zip.Write(piece); });
      zip.Close();
    } else {
      zip.Copy(package.Zip(), e);
    }
  }
  for (const auto& [name, content] : created) {
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    zip.Open(name, false, !ascii);
    content([&zip](std::string_view piece) { zip.Write(piece); });
    zip.Close();
  }
  zip.Finish();
  Verify(fd, zip);
}

}  // namespace spreadsheet
