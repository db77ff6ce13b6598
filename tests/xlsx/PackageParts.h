#pragma once

#include <minizip/zip.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet::testing {

// Entry name → content of a zip to build.
using Parts = std::map<std::string, std::string>;

inline constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const char* kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";

// The parts zipped in name order, deflated; the archive's bytes.
inline std::shared_ptr<const std::string> Zip(const Parts& parts, const TempDir& dir) {
  const std::string path = dir.File("parts.zip");
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) throw std::runtime_error("zipOpen failed");
  for (const auto& [name, content] : parts) {
    zip_fileinfo info{};
    if (zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1) != ZIP_OK ||
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK) {
      throw std::runtime_error("zip entry failed: " + name);
    }
  }
  zipClose(zip, nullptr);
  return std::make_shared<const std::string>(ReadFile(path));
}

inline std::string Relationship(const std::string& id, const std::string& kind, const std::string& target) {
  return "<Relationship Id=\"" + id + "\" Type=\"" + kRelNs + "/" + kind + "\" Target=\"" + target + "\"/>";
}

inline std::string Relationships(const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"") + kPackageRelNs + "\">" +
         body + "</Relationships>";
}

inline std::string ContentTypes() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet2.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/sharedStrings.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
         "</Types>";
}

// A two-sheet workbook ("数据输入", "水准表") whose first sheet holds `sheetData` (the XML
// inside <sheetData>) and whose shared strings are `strings` (the XML inside <sst>).
inline Parts TwoSheetWorkbook(const std::string& sheetData, const std::string& strings) {
  Parts p;
  p["[Content_Types].xml"] = ContentTypes();
  p["_rels/.rels"] = Relationships(Relationship("rId1", "officeDocument", "xl/workbook.xml"));
  p["xl/workbook.xml"] = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"") + kMainNs +
                         "\" xmlns:r=\"" + kRelNs +
                         "\"><bookViews><workbookView activeTab=\"1\"/></bookViews><sheets>"
                         "<sheet name=\"数据输入\" sheetId=\"1\" r:id=\"rId1\"/>"
                         "<sheet name=\"水准表\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>";
  p["xl/_rels/workbook.xml.rels"] =
      Relationships(Relationship("rId1", "worksheet", "worksheets/sheet1.xml") +
                    Relationship("rId2", "worksheet", "worksheets/sheet2.xml") +
                    Relationship("rId3", "sharedStrings", "sharedStrings.xml"));
  p["xl/worksheets/sheet1.xml"] = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") +
                                  kMainNs + "\"><sheetData>" + sheetData + "</sheetData></worksheet>";
  p["xl/worksheets/sheet2.xml"] = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") +
                                  kMainNs + "\"><sheetData/></worksheet>";
  p["xl/sharedStrings.xml"] =
      std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"") + kMainNs + "\">" + strings + "</sst>";
  return p;
}

// Replaces the first `from` in a part; throws when it is not there, so a test never edits nothing.
inline void Edit(Parts& parts, const std::string& part, const std::string& from, const std::string& to) {
  std::string& s = parts.at(part);
  const std::size_t at = s.find(from);
  if (at == std::string::npos) throw std::runtime_error("no “" + from + "” in " + part);
  s.replace(at, from.size(), to);
}

inline constexpr const char* kRichStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts>"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"宋体\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border/></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "<dxfs count=\"1\"><dxf><font><b/></font></dxf></dxfs>"
    "</styleSheet>";

inline constexpr const char* kRichKept[] = {
    "<pane ySplit=\"7\" topLeftCell=\"A8\" activePane=\"bottomLeft\" state=\"frozen\"/>",
    "<selection pane=\"bottomLeft\" activeCell=\"B9\" sqref=\"B9\"/>",
    "<sheetProtection sheet=\"1\"/>",
    "<conditionalFormatting sqref=\"E6\"><cfRule type=\"cellIs\" dxfId=\"0\" priority=\"1\" operator=\"greaterThan\">"
    "<formula>100</formula></cfRule></conditionalFormatting>",
    "<dataValidations count=\"1\"><dataValidation type=\"decimal\" sqref=\"E6\"><formula1>0</formula1></dataValidation>"
    "</dataValidations>",
    "<hyperlinks><hyperlink ref=\"A8\" location=\"'水准表'!A1\"/></hyperlinks>",
    "<drawing xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" r:id=\"rId1\"/>",
};

// A workbook carrying what the model does not hold: a frozen pane with a selection, protection,
// a conditional format, validation, a hyperlink, a defined name, a hidden sheet, a chart and a
// comment on the first sheet, document properties and a calculation chain.
inline Parts RichWorkbook() {
  Parts p = TwoSheetWorkbook(
      "<row r=\"5\"><c r=\"E5\" t=\"s\"><v>0</v></c></row><row r=\"6\"><c r=\"E6\" s=\"1\"><v>100.5</v></c></row>"
      "<row r=\"8\"><c r=\"A8\" t=\"s\"><v>1</v></c><c r=\"E8\"><f>E6+1</f><v>101.5</v></c></row>",
      "<si><t>BM1</t></si><si><t>P1</t></si>");
  p["xl/styles.xml"] = kRichStyles;
  // A bar chart of E6:E8 anchored on the first sheet, and a comment on its E6.
  p["xl/charts/chart1.xml"] =
      "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea>"
      "<c:barChart><c:barDir val=\"col\"/><c:ser><c:idx val=\"0\"/><c:order val=\"0\"/><c:val><c:numRef>"
      "<c:f>'数据输入'!$E$6:$E$8</c:f></c:numRef></c:val></c:ser><c:axId val=\"1\"/><c:axId val=\"2\"/></c:barChart>"
      "<c:catAx><c:axId val=\"1\"/><c:crossAx val=\"2\"/></c:catAx><c:valAx><c:axId val=\"2\"/><c:crossAx val=\"1\"/>"
      "</c:valAx></c:plotArea></c:chart></c:chartSpace>";
  p["xl/drawings/drawing1.xml"] =
      "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
      "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"" + std::string(kRelNs) + "\">"
      "<xdr:twoCellAnchor><xdr:from><xdr:col>6</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff>"
      "</xdr:from><xdr:to><xdr:col>12</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>15</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>"
      "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"2\" name=\"高程图\"/><xdr:cNvGraphicFramePr/>"
      "</xdr:nvGraphicFramePr><xdr:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/></xdr:xfrm><a:graphic>"
      "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart "
      "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" r:id=\"rId1\"/></a:graphicData></a:graphic>"
      "</xdr:graphicFrame><xdr:clientData/></xdr:twoCellAnchor></xdr:wsDr>";
  p["xl/drawings/_rels/drawing1.xml.rels"] = Relationships(Relationship("rId1", "chart", "../charts/chart1.xml"));
  p["xl/comments1.xml"] =
      std::string("<comments xmlns=\"") + kMainNs + "\"><authors><author>测量员</author></authors><commentList>"
      "<comment ref=\"E6\" authorId=\"0\"><text><r><t>复核高程</t></r></text></comment></commentList></comments>";
  p["xl/worksheets/_rels/sheet1.xml.rels"] = Relationships(Relationship("rId1", "drawing", "../drawings/drawing1.xml") +
                                                           Relationship("rId2", "comments", "../comments1.xml"));
  p["docProps/app.xml"] = "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\"/>";
  p["xl/calcChain.xml"] = "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><c r=\"E8\" i=\"1\"/></calcChain>";
  Edit(p, "xl/_rels/workbook.xml.rels", "</Relationships>",
       Relationship("rId4", "styles", "styles.xml") + Relationship("rId5", "calcChain", "calcChain.xml") +
           "</Relationships>");
  Edit(p, "[Content_Types].xml", "</Types>",
       "<Override PartName=\"/xl/calcChain.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>"
       "<Override PartName=\"/xl/drawings/drawing1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>"
       "<Override PartName=\"/xl/charts/chart1.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.drawingml.chart+xml\"/>"
       "<Override PartName=\"/xl/comments1.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml\"/></Types>");
  Edit(p, "xl/workbook.xml", "name=\"水准表\" sheetId=\"2\"", "name=\"水准表\" sheetId=\"2\" state=\"hidden\"");
  Edit(p, "xl/workbook.xml", "</sheets>", "</sheets><definedNames><definedName name=\"高程\">'数据输入'!$E$6</definedName></definedNames>");
  Edit(p, "xl/workbook.xml", "activeTab=\"1\"", "activeTab=\"0\"");
  Edit(p, "xl/worksheets/sheet1.xml", "<sheetData>",
       std::string("<sheetViews><sheetView workbookViewId=\"0\">") + kRichKept[0] + kRichKept[1] + "</sheetView></sheetViews><sheetData>");
  Edit(p, "xl/worksheets/sheet1.xml", "</sheetData>",
       std::string("</sheetData>") + kRichKept[2] + kRichKept[3] + kRichKept[4] + kRichKept[5] + kRichKept[6]);
  return p;
}

}  // namespace spreadsheet::testing
