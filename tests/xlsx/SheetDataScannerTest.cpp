// The sheetData scanner against the general XML parser: what it recognises it must read exactly
// as the parser does, and whatever else (malformed XML above all) it must give back, so that the
// reader's result — a workbook or a refusal with its message — never depends on which path ran.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/read/SheetDataScanner.h"
#include "xlsx/isolate/WorkbookSerializer.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {
namespace {

using testing::Parts;
using testing::TempDir;

const char* kStrings = "<si><t>BM1</t></si><si><t>P1</t></si>";

// The first sheet with the XML inside <sheetData>; prefixes x (the main namespace) and x14ac bound.
Parts Book(const std::string& data) {
  Parts p = testing::TwoSheetWorkbook("", kStrings);
  p["xl/worksheets/sheet1.xml"] =
      std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") + testing::kMainNs +
      "\" xmlns:x=\"" + testing::kMainNs + "\" xmlns:x14ac=\"urn:x14ac\"><sheetData>" + data +
      "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells></worksheet>";
  return p;
}

// The whole workbook's image, or the refusal's message.
std::string Outcome(const Parts& parts, XlsxReader::SheetData how) {
  TempDir dir;
  try {
    return "read: " + WorkbookSerializer::Serialize(XlsxReader::Read(testing::Zip(parts, dir), how));
  } catch (const SpreadsheetError& e) {
    return "refused: " + e.Description();
  }
}

class Recorder : public SheetDataScanner::Sink {
 public:
  void Row(const SheetRowParts&) override { ++rows; }
  void Cell(SheetCellParts&) override { ++cells; }
  int rows = 0, cells = 0;
};

bool Scans(const std::string& data) {
  Recorder sink;
  return SheetDataScanner::Scan(
      data, [](std::string_view p) { return p == "x" || p == "x14ac"; }, sink);
}

struct Case {
  const char* name;
  std::string data;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Nested(int depth) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += "<a>";
  for (int i = 0; i < depth; ++i) s += "</a>";
  return s;
}

class ScannerReads : public ::testing::TestWithParam<Case> {};

TEST_P(ScannerReads, AsTheParserDoes) {
  ASSERT_TRUE(Scans(GetParam().data)) << "given back to the parser";
  const Parts parts = Book(GetParam().data);
  const std::string parsed = Outcome(parts, XlsxReader::SheetData::Parsed);
  EXPECT_EQ(Outcome(parts, XlsxReader::SheetData::Scanned), parsed);
  EXPECT_EQ(parsed.substr(0, 5), "read:") << parsed;
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, ScannerReads,
    ::testing::Values(
        Case{"numbersAndStrings",
             "<row r=\"5\"><c r=\"E5\" t=\"s\"><v>0</v></c><c r=\"F5\"><v>100.75</v></c></row>"
             "<row r=\"8\" ht=\"20.5\"><c r=\"A8\" t=\"s\" s=\"0\"><v>1</v></c><c r=\"E8\"><v> -1.5E+2 "
             "</v></c></row>"},
        Case{
            "prefixesAndForeignAttributes",
            "<x:row r=\"2\" spans=\"1:2\" x14ac:dyDescent=\"0.25\"><x:c r=\"B2\"><x:v>7</x:v></x:c></x:row>"},
        Case{"withoutPositions",
             "<row/><row><c/><c><v>1</v></c><c t=\"s\"><v>1</v></c></row><row><c "
             "r=\"C3\"/><c><v>2</v></c></row>"},
        Case{"inlineRuns",
             "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><t xml:space=\"preserve\"> "
             "P</t></r><r><rPr><b/></rPr><t>1_x0041_</t></r>"
             "<rPh sb=\"0\" eb=\"1\"><t>ピー</t></rPh></is></c><c r=\"B1\" t=\"inlineStr\"><is/></c>"
             "<c r=\"C1\" t=\"inlineStr\"><v>plain</v></c></row>"},
        Case{"commentsCdataReferences",
             "<!-- <row r=\"9\"><c><v>5</v></c></row> --><row r=\"1\"><c r=\"A1\" "
             "t=\"str\"><v><![CDATA[a<b]]>&amp;&#66;&#x4E2D;&lt;&gt;&apos;&quot;</v></c>"
             "<c r=\"B1\"><v><!-- 999 -->100.5</v></c><c r=\"&#67;1\" t='s'><v>0</v></c></row>"},
        Case{"spacesInTags",
             "<row\n r = \"3\"\t><c r=\"A3\"\n  t=\"b\" ><v>1</v ></c ><c r=\"B3\" t=\"e\"><v>#N/A</v></c><c "
             "r=\"C3\" t=\"d\"><v>2024-03-01</v></c></row\n>"},
        Case{"formulas",
             "<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A3\" si=\"0\">B1*2</f><v>2</v></c><c "
             "r=\"C1\"><f>SUM(A1:B1)</f></c>"
             "<c r=\"D1\"><f t=\"dataTable\" ref=\"D1:D2\"/><v>3</v></c><c r=\"E1\" "
             "t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c></row>"
             "<row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>4</v></c></row>"
             "<row r=\"3\"><c r=\"A3\"><f t=\"shared\" si=\"a\tb\">C3</f></c><c r=\"B3\"><f t=\"shared\" "
             "si=\"a b\"/></c></row>"},
        Case{"otherElementsPassedOver",
             "<extLst><ext><row r=\"7\"><c><v>9</v></c></row></ext></extLst><row r=\"1\"><c "
             "r=\"A1\"><x14ac:foo><v>8</v></x14ac:foo>"
             "<v>1</v><v>2</v></c><other>text</other><c r=\"B1\"><v>3<sub>4</sub></v></c></row>"},
        Case{"textEverywhere",
             "\n  <row r=\"1\">\n    <c r=\"A1\" t=\"inlineStr\">stray<is><t>中文 😀 ü</t></is></c>\n  "
             "</row>\n"},
        Case{"attributeValuesNormalised",
             "<row r=\"1\" ht=\"&#49;5\"><c r=\"A1\" t=\"inlineStr\" s=\"0\"><is><t>x</t></is></c><c "
             "r=\"B1\" s=\"&#9;0\"><v>1</v></c></row>"},
        Case{"seventeenAttributes",
             "<row a1=\"\" a2=\"\" a3=\"\" a4=\"\" a5=\"\" a6=\"\" a7=\"\" a8=\"\" a9=\"\" a10=\"\" a11=\"\" "
             "a12=\"\" a13=\"\" "
             "a14=\"\" a15=\"\" a16=\"\" r=\"9\"><c><v>1</v></c></row>"}),
    CaseName);

// What the scanner reads but the file's meaning refuses goes through the parser for its message.
TEST(ScannerReadsRefusal, NamesTheCellAsTheParserDoes) {
  const Parts parts = Book("<row r=\"1\"><c r=\"A1\"><v>1,5</v></c></row>");
  const std::string outcome = Outcome(parts, XlsxReader::SheetData::Scanned);
  EXPECT_EQ(outcome, Outcome(parts, XlsxReader::SheetData::Parsed));
  EXPECT_NE(outcome.find("单元格 A1 中的数值“1,5”不是有效的数字"), std::string::npos) << outcome;
}

class ScannerGivesBack : public ::testing::TestWithParam<Case> {};

TEST_P(ScannerGivesBack, AndTheParserDecides) {
  EXPECT_FALSE(Scans(GetParam().data));
  const Parts parts = Book(GetParam().data);
  EXPECT_EQ(Outcome(parts, XlsxReader::SheetData::Scanned), Outcome(parts, XlsxReader::SheetData::Parsed));
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, ScannerGivesBack,
    ::testing::Values(Case{"wrongEndTag", "<row><c><v>1</v></c></rows>"},
                      Case{"unclosed", "<row><c><v>1</v></c>"}, Case{"strayEndTag", "<row/></row>"},
                      Case{"unquotedAttribute", "<row r=1/>"},
                      Case{"attributesTogether", "<row r=\"1\"s=\"0\"/>"},
                      Case{"sameAttributeTwice", "<row r=\"1\" r=\"2\"/>"},
                      Case{"sameLocalNameTwice", "<row x:r=\"1\" x14ac:r=\"2\"/>"},
                      Case{"lessThanInValue", "<row r=\"<\"/>"}, Case{"cdataEndInText", "<row>]]></row>"},
                      Case{"unknownEntity", "<row><c><v>&nbsp;</v></c></row>"},
                      Case{"referenceToNul", "<row><c><v>&#0;</v></c></row>"},
                      Case{"referenceToSurrogate", "<row><c><v>&#xD800;</v></c></row>"},
                      Case{"unterminatedReference", "<row><c><v>&amp</v></c></row>"},
                      Case{"invalidUtf8", "<row><c><v>\xC3\x28</v></c></row>"},
                      Case{"overlongUtf8", "<row><c><v>\xC0\xAF</v></c></row>"},
                      Case{"encodedSurrogate", "<row><c><v>\xED\xA0\x80</v></c></row>"},
                      Case{"noncharacter", "<row><c><v>\xEF\xBF\xBE</v></c></row>"},
                      Case{"controlCharacter", "<row><c><v>\x01</v></c></row>"},
                      Case{"doubleHyphenInComment", "<!-- a -- b --><row/>"},
                      Case{"unterminatedComment", "<row/><!-- a"}, Case{"unboundPrefix", "<y:row/>"},
                      Case{"unboundAttributePrefix", "<row y:a=\"1\"/>"},
                      Case{"carriageReturn", "<row>\r\n<c><v>1</v></c></row>"},
                      Case{"processingInstruction", "<?pi x?><row/>"},
                      Case{"namespaceDeclaration", "<row xmlns:y=\"urn:y\"/>"},
                      Case{"declarationMarkup", "<!ELEMENT row ANY><row/>"},
                      Case{"nonAsciiName", "<row><数 r=\"1\"/></row>"}, Case{"tooDeep", Nested(300)}),
    CaseName);

// Around the sheetData: where the scanner's content is cut out of the part, a wrong guess must
// end in the parser's reading of the whole part, never in another workbook.
TEST(ScannerSplice, ReadsWhatTheParserReads) {
  const std::string cells = "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>";
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"endTagInCommentAfter", cells + "</sheetData><!-- </sheetData> --><sheetData>" + cells},
      {"secondSheetData", cells + "</sheetData><sheetData><row r=\"2\"><c r=\"B2\"><v>2</v></c></row>"},
      {"malformedAfter", cells + "</sheetData><pageMargins left=\"1\"></pageMargin><sheetData>"},
      {"doctypeBefore", cells},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Parts parts = Book(c.data);
    if (std::string(c.name) == "doctypeBefore")
      testing::Edit(parts, "xl/worksheets/sheet1.xml", "<worksheet", "<!DOCTYPE worksheet><worksheet");
    EXPECT_EQ(Outcome(parts, XlsxReader::SheetData::Scanned), Outcome(parts, XlsxReader::SheetData::Parsed));
  }
  // Another encoding: bytes the scanner would take for UTF-8 are read by the parser alone.
  Parts latin = Book("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>\xE9t\xE9</t></is></c></row>");
  testing::Edit(latin, "xl/worksheets/sheet1.xml", "encoding=\"UTF-8\"", "encoding=\"ISO-8859-1\"");
  const std::string outcome = Outcome(latin, XlsxReader::SheetData::Scanned);
  EXPECT_EQ(outcome, Outcome(latin, XlsxReader::SheetData::Parsed));
  EXPECT_NE(outcome.find("été"), std::string::npos);
}

}  // namespace
}  // namespace spreadsheet
