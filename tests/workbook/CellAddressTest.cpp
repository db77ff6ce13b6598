#include <gtest/gtest.h>

#include "workbook/CellAddress.h"
#include "workbook/CellRange.h"
#include "workbook/SpreadsheetError.h"
#include "tests/support/ParamName.h"

using spreadsheet::CellAddress;
using spreadsheet::CellRange;
using spreadsheet::SpreadsheetError;

struct GoodAddress {
  const char* text;
  int row;
  int column;
  const char* canonical;
};

class ParsesAddress : public ::testing::TestWithParam<GoodAddress> {};

TEST_P(ParsesAddress, ToRowAndColumn) {
  const auto& p = GetParam();
  const auto a = CellAddress::Parse(p.text);
  EXPECT_EQ(a.row, p.row);
  EXPECT_EQ(a.column, p.column);
  EXPECT_EQ(a.ToString(), p.canonical);
}

INSTANTIATE_TEST_SUITE_P(Addresses, ParsesAddress,
                         ::testing::Values(GoodAddress{"A1", 0, 0, "A1"}, GoodAddress{"E5", 4, 4, "E5"},
                                           GoodAddress{"e6", 5, 4, "E6"}, GoodAddress{"$F$6", 5, 5, "F6"},
                                           GoodAddress{"Z9", 8, 25, "Z9"}, GoodAddress{"AA10", 9, 26, "AA10"},
                                           GoodAddress{"IV65536", 65535, 255, "IV65536"},
                                           GoodAddress{"I65536", 65535, 8, "I65536"}),
                         testsupport::NameBy([](const GoodAddress& c) { return c.text; }));

class RejectsAddress : public ::testing::TestWithParam<const char*> {};

TEST_P(RejectsAddress, WithCode1004QuotingTheText) {
  const std::string text = GetParam();
  try {
    CellAddress::Parse(text);
    FAIL() << "accepted " << text;
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find("“" + text + "”"), std::string::npos) << e.Description();
  }
}

INSTANTIATE_TEST_SUITE_P(Addresses, RejectsAddress,
                         ::testing::Values("", "A", "5", "A0", "IW1", "A65537", "A1B", " A1", "A1 ", "AAAA1",
                                           "A1234567", "A-1", "€1", "A1:B2"),
                         testsupport::NameBy([](const char* typed) {
                           return testsupport::ParamName("typed", typed);
                         }));

TEST(CellRange, ParsesBlocksAndSingleCells) {
  const auto r = CellRange::Parse("A5:I65536");
  EXPECT_EQ(r.first, (CellAddress{4, 0}));
  EXPECT_EQ(r.last, (CellAddress{65535, 8}));
  EXPECT_EQ(r.RowCount(), 65532);
  EXPECT_EQ(r.ColumnCount(), 9);
  EXPECT_EQ(CellRange::Parse("E5").ToString(), "E5");
  EXPECT_EQ(CellRange::Parse("C3:A1").ToString(), "A1:C3");
}

TEST(CellRange, RejectsMalformedBlocks) {
  for (const char* text : {"A1:", ":B2", "A1:B2:C3", "A1-B2", "A0:B2"}) {
    EXPECT_THROW(CellRange::Parse(text), SpreadsheetError) << text;
  }
}

TEST(CellAddress, ColumnNamesRoundTripOverTheWholeSheet) {
  for (int c = 0; c < CellAddress::kMaxColumns; ++c) {
    EXPECT_EQ(CellAddress::Parse(CellAddress::ColumnName(c) + "1").column, c);
  }
}
