#pragma once

#include <string>
#include <string_view>

#include "calc/Evaluator.h"
#include "calc/Formula.h"
#include "calc/Value.h"
#include "calc/WorkbookSource.h"
#include "workbook/CellAddress.h"
#include "workbook/Workbook.h"

namespace spreadsheet::calc::testing {

// A small book the formula tables read: 数据 holds numbers, texts, a blank and an error, a
// second sheet '数据 输入' a few more.
//   数据:  A1 1   A2 2   A3 3   A4 "4" (text)  A5 (blank)
//          B1 "x" B2 "Y"  B3 #DIV/0!           C1 2.675    C2 -1.5
//          D1..D4 sorted keys 10 20 30 40 and E1..E4 "十" "二十" "三十" "四十"
//   数据 输入: A1 100  B2 "它's"
inline Workbook SampleBook() {
  Workbook wb;
  Worksheet& s = wb.AddSheet("数据");
  s.SetValue(CellAddress::Parse("A1"), 1.0);
  s.SetValue(CellAddress::Parse("A2"), 2.0);
  s.SetValue(CellAddress::Parse("A3"), 3.0);
  s.SetValue(CellAddress::Parse("A4"), std::string("4"));
  s.SetValue(CellAddress::Parse("B1"), std::string("x"));
  s.SetValue(CellAddress::Parse("B2"), std::string("Y"));
  s.SetValue(CellAddress::Parse("B3"), CellError{"#DIV/0!"});
  s.SetValue(CellAddress::Parse("C1"), 2.675);
  s.SetValue(CellAddress::Parse("C2"), -1.5);
  const char* names[] = {"十", "二十", "三十", "四十"};
  for (int i = 0; i < 4; ++i) {
    s.SetValue(CellAddress{i, 3}, 10.0 * (i + 1));
    s.SetValue(CellAddress{i, 4}, std::string(names[i]));
  }
  Worksheet& t = wb.AddSheet("数据 输入");
  t.SetValue(CellAddress::Parse("A1"), 100.0);
  t.SetValue(CellAddress::Parse("B2"), std::string("它's"));
  return wb;
}

// The formula's value written in F10 of the first sheet.
inline Value Compute(const Workbook& wb, std::string_view formula) {
  const WorkbookSource source(wb);
  return Evaluator(source).Evaluate(Formula::Parse(formula), 0, CellAddress::Parse("F10"));
}

// "n:3", "t:abc", "b:TRUE", "e:#REF!", "empty" for messages and tables.
inline std::string Describe(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Number: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "n:%.15g", v.number);
      return buffer;
    }
    case Value::Kind::Text:
      return "t:" + v.text;
    case Value::Kind::Bool:
      return v.number != 0 ? "b:TRUE" : "b:FALSE";
    case Value::Kind::Error:
      return "e:" + std::string(ErrorText(v.error));
    case Value::Kind::Uncomputed:
      return "uncomputed";
    case Value::Kind::Empty:
      break;
  }
  return "empty";
}

}  // namespace spreadsheet::calc::testing
