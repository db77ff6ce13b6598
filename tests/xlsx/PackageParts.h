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

}  // namespace spreadsheet::testing
