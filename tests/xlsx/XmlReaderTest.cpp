#include "xlsx/read/XmlReader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {
namespace {

// Everything a reader gives, one token a node: "1<b x=1/>" a start at depth 1 (self-closed, its
// attributes without a namespace), "1</b>" an end, "2'text'" a text.
std::string Events(XmlReader& r) {
  std::string out;
  while (r.Read()) {
    out += std::to_string(r.Depth());
    if (r.Kind() == XmlReader::Node::Start) {
      out += "<" + std::string(r.Name());
      XmlReader::Attr attributes[8];
      const int n = r.Attributes(attributes, 8);
      for (int i = 0; i < n; ++i) out += " " + std::string(attributes[i].name) + "=" + std::string(attributes[i].value);
      out += r.SelfClosed() ? "/> " : "> ";
    } else if (r.Kind() == XmlReader::Node::End) {
      out += "</" + std::string(r.Name()) + "> ";
    } else {
      out += "'" + std::string(r.Value()) + "' ";
    }
  }
  return out;
}

std::string Events(const std::string& xml) {
  XmlReader r(xml, "t.xml");
  return Events(r);
}

// What the refusal of `xml` says; "" when it is read.
std::string Refusal(const std::string& xml) {
  try {
    Events(xml);
  } catch (const SpreadsheetError& e) {
    return e.Description();
  }
  return "";
}

struct ReadCase {
  const char* name;
  std::string xml;
  std::string events;
};

class XmlReaderEvents : public ::testing::TestWithParam<ReadCase> {};

TEST_P(XmlReaderEvents, GivesTheDocumentInOrder) { EXPECT_EQ(Events(GetParam().xml), GetParam().events); }

const std::string kLong(150000, 'x');  // beyond two of the pieces the parser is given

INSTANTIATE_TEST_SUITE_P(
    Snippets, XmlReaderEvents,
    ::testing::Values(
        ReadCase{"EmptyElementsEitherWay", "<a><b x='1'/><c></c><d> </d></a>", "0<a> 1<b x=1/> 1<c/> 1<d> 2' ' 1</d> 0</a> "},
        ReadCase{"TextsCdataAndReferencesJoined", "<a>t&lt;<![CDATA[<d>]]>&#x4E2D;&amp;</a>", "0<a> 1't<<d>中&' 0</a> "},
        ReadCase{"AttributeValuesDecodedAndNormalised", "<a x=\"1&amp;2\" y=\"a&#10;b\" z=\"c\td\"/>",
                 "0<a x=1&2 y=a\nb z=c d/> "},
        ReadCase{"NamespacedAttributesLeftOut",
                 "<a xmlns:r='urn:r' r:id='7' id='8'><!-- note --><?pi x?><r:b/></a>", "0<a id=8> 1<b/> 0</a> "},
        ReadCase{"ATextAcrossPieces", "<a><v>" + kLong + "</v><w/></a>", "0<a> 1<v> 2'" + kLong + "' 1</v> 1<w/> 0</a> "},
        ReadCase{"AnEmptyElementAtAPieceBoundary", "<a>" + std::string(65536 - 8, ' ') + "<b></b><c/></a>",
                 "0<a> 1'" + std::string(65536 - 8, ' ') + "' 1<b/> 1<c/> 0</a> "}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

// A document in pieces reads as their concatenation, and each seam tells the depth the parser
// stood at there: -1 where the piece ended inside markup (a tag, a comment, a text going on).
struct PiecesCase {
  const char* name;
  std::vector<std::string> pieces;
  std::vector<int> depths;
};

class XmlReaderPieces : public ::testing::TestWithParam<PiecesCase> {};

TEST_P(XmlReaderPieces, ReadAsOneTextAndTellTheDepthAtEachSeam) {
  const PiecesCase& c = GetParam();
  std::string whole;
  std::vector<std::string_view> views;
  for (const std::string& p : c.pieces) {
    whole += p;
    views.emplace_back(p);
  }
  XmlReader r(views, "t.xml");
  EXPECT_EQ(Events(r), Events(whole));
  for (std::size_t i = 0; i < c.depths.size(); ++i) {
    EXPECT_EQ(r.DepthAfterPiece(i), c.depths[i]) << "seam " << i;
  }
  EXPECT_EQ(r.DepthAfterPiece(c.depths.size()), -1) << "the last piece has no seam";
}

const std::string kRows(100000, ' ');  // a piece longer than one push

INSTANTIATE_TEST_SUITE_P(
    Seams, XmlReaderPieces,
    ::testing::Values(PiecesCase{"BetweenRows", {"<w><d><r/>", "<r>" + kRows + "</r>", "</d></w>"}, {2, 2}},
                      PiecesCase{"AfterTheRoot", {"<?xml version=\"1.0\"?><w>", "<d/></w>"}, {1}},
                      PiecesCase{"InsideATag", {"<w><d><r a='", "1'/></d></w>"}, {-1}},
                      PiecesCase{"InsideAComment", {"<w><d><!-- <r>", "--></d></w>"}, {-1}},
                      PiecesCase{"InsideAText", {"<w><d>ab", "c</d></w>"}, {-1}},
                      PiecesCase{"Deeper", {"<w><d><c><r/>", "</c></d></w>"}, {3}}),
    [](const ::testing::TestParamInfo<PiecesCase>& info) { return std::string(info.param.name); });

TEST(XmlReaderRefusals, NameThePartAndLineOrTheDocumentType) {
  EXPECT_EQ(Refusal("<a>\n<b>\n</a>"), "不是有效的 Excel 工作簿：部件“t.xml”不是格式正确的 XML（第 3 行）");
  EXPECT_EQ(Refusal("<a>&nbsp;</a>"), "不是有效的 Excel 工作簿：部件“t.xml”不是格式正确的 XML（第 1 行）");
  EXPECT_EQ(Refusal("<a><b/>"), "不是有效的 Excel 工作簿：部件“t.xml”不是格式正确的 XML（第 1 行）");
  EXPECT_EQ(Refusal(""), "不是有效的 Excel 工作簿：部件“t.xml”不是格式正确的 XML（第 1 行）");
  // Nothing of a document type's subset is read, so no entity of it is ever expanded.
  const std::string laughs =
      "<!DOCTYPE a [<!ENTITY l \"lol\"><!ENTITY l2 \"&l;&l;&l;&l;&l;&l;&l;&l;&l;&l;\">]><a>&l2;</a>";
  EXPECT_EQ(Refusal(laughs), "部件“t.xml”含有文档类型声明（DTD），工作簿文件中不允许");
  // What stands before a fault is given out; the fault is met where it stands.
  const std::string broken = "<a><b/>" + kLong + "<c></a>";
  XmlReader r(broken, "t.xml");
  ASSERT_TRUE(r.Read());
  ASSERT_TRUE(r.Read());
  EXPECT_EQ(r.Name(), "b");
  EXPECT_THROW(while (r.Read()) {}, SpreadsheetError);
}

TEST(XmlReaderSkip, MovesPastTheSubtreeAndKeepsNamesValid) {
  XmlReader r("<a><b><c>x</c><c/></b><d k='v'>t</d></a>", "t.xml");
  ASSERT_TRUE(r.Read());
  const std::string_view root = r.Name();
  ASSERT_TRUE(r.Read());
  r.Skip();
  ASSERT_TRUE(r.Read());
  EXPECT_EQ(r.Name(), "d");
  EXPECT_EQ(r.Attribute("k").value_or(""), "v");
  EXPECT_EQ(r.ElementText(), "t");
  EXPECT_EQ(root, "a");
}

}  // namespace
}  // namespace spreadsheet
