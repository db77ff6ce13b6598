// The workbook reader fed with XML that the fuzzer edits as text: the input is up to eight
// parts separated by NUL bytes, zipped here into a package; a part left out takes a minimal
// default, an empty part is missing from the package. The reader runs in this process (where
// the sanitizers see it) and in the reader program (IsolatedRead.h), as the program runs it.
#include <minizip/zip.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "tests/fuzz/FuzzFiles.h"
#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "tests/fuzz/IsolatedRead.h"
#include "xlsx/isolate/WorkbookSerializer.h"
#include "xlsx/read/XlsxReader.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;

namespace {

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

const std::array<std::pair<const char*, std::string>, 8>& DefaultParts() {
  static const std::array<std::pair<const char*, std::string>, 8> parts = {{
      {"xl/worksheets/sheet1.xml",
       std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") + kMain +
           "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>1.5</v></c></row>"
           "</sheetData></worksheet>"},
      {"xl/sharedStrings.xml", std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"") + kMain +
                                   "\" count=\"1\" uniqueCount=\"1\"><si><t>数据</t></si></sst>"},
      {"xl/styles.xml", std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet xmlns=\"") + kMain +
                            "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts>"
                            "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"宋体\"/></font></fonts>"
                            "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
                            "<borders count=\"1\"><border/></borders>"
                            "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
                            "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
                            "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
                            "</cellXfs></styleSheet>"},
      {"xl/workbook.xml", std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"") + kMain +
                              "\" xmlns:r=\"" + kRel +
                              "\"><sheets><sheet name=\"数据输入\" sheetId=\"1\" r:id=\"rId1\"/>"
                              "<sheet name=\"水准表\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>"},
      {"xl/worksheets/sheet2.xml",
       std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") + kMain +
           "\"><cols><col min=\"1\" max=\"2\" width=\"12\" customWidth=\"1\"/></cols><sheetData/></worksheet>"},
      {"xl/_rels/workbook.xml.rels",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
       "Target=\"worksheets/sheet1.xml\"/>"
       "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
       "Target=\"worksheets/sheet2.xml\"/>"
       "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
       "Target=\"styles.xml\"/>"
       "<Relationship Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
       "Target=\"sharedStrings.xml\"/></Relationships>"},
      {"[Content_Types].xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Override PartName=\"/xl/workbook.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
       "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
       "<Override PartName=\"/xl/worksheets/sheet2.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
       "<Override PartName=\"/xl/styles.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
       "<Override PartName=\"/xl/sharedStrings.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
       "</Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
       "Target=\"xl/workbook.xml\"/></Relationships>"},
  }};
  return parts;
}

// Returns the number of entries written.
int WritePackage(const std::string& path, FuzzInput& in) {
  int entries = 0;
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  Require(zip != nullptr, "zip created");
  for (const auto& [name, fallback] : DefaultParts()) {
    const bool given = !in.Empty();
    const std::string content = given ? in.UntilNul() : fallback;
    if (given && content.empty()) continue;
    zip_fileinfo info{};
    bool ok = zipOpenNewFileInZip(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_BEST_SPEED) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) == ZIP_OK;
    ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    Require(ok, "zip entry written", name);
    ++entries;
  }
  Require(zipClose(zip, nullptr) == ZIP_OK, "zip closed");
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const levelbook::fuzz::FuzzFolder folder;
  static const std::string path = folder.File("parts.xlsx");
  static const std::string saved = folder.File("saved.xlsx");
  FuzzInput in(data, size);
  const int entries = WritePackage(path, in);

  // In this process (where the sanitizers see it): a workbook, or SpreadsheetError 1004; the
  // same read with every sheet tried in two halves (from its first byte on) and read whole.
  const auto bytes = std::make_shared<const std::string>(levelbook::fuzz::ReadBytes(path));
  const auto read = [&bytes](std::size_t halvesFrom) {
    try {
      const std::string image =
          spreadsheet::WorkbookSerializer::Serialize(spreadsheet::XlsxReader::Read(bytes, {}, halvesFrom));
      Require(!image.empty(), "a workbook image", "empty");
      return image;
    } catch (const spreadsheet::SpreadsheetError& e) {
      Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "error number 1004", e.Description());
      return "error: " + e.Description();
    }
  };
  const std::string halves = read(1);
  Require(halves == read(static_cast<std::size_t>(-1)), "halves read as the whole", halves);
  (void)entries;
  levelbook::fuzz::CheckIsolatedLoad(path, saved);
  return 0;
}
