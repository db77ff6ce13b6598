#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/CellValue.h"
#include "workbook/DateSystem.h"

namespace spreadsheet {

// The text a spreadsheet shows for a value under a number format code, parsed once.
// Understood: General, digit placeholders 0 # ?, decimal point, thousands grouping and
// trailing-comma scaling, %, scientific E+/E-, @, quoted and backslash-escaped literals,
// _x spacing (one space), *x fill (dropped), [Red]-style colours (ignored), [$€-407]
// currency, [<0]-style conditions, and up to four ';' sections (positive; negative; zero;
// text). Numbers are rounded half away from zero on their 15-significant-digit decimal
// value, as spreadsheets show them (workbook/NumberText.h).
// Dates and times: y yy yyy yyyy, m mm mmm mmmm mmmmm (minutes after h or before s), d dd ddd
// dddd, aaa aaaa (Chinese weekday), h hh, s ss, fractions of seconds (ss.000; rounded, but a
// clock time without a date is cut so that it stays on its day), AM/PM A/P 上午/下午, elapsed [h] [m] [s]; the prefixes [$-804] (Chinese names and
// 上午/下午), [$-F800] and [$-x-sysdate] (long date 2024年1月2日), [$-F400] and [$-x-systime]
// (time 18:00:00), [DBNum1] and [DBNum2] (Chinese numerals). A date before the first day of the
// date system or after 9999-12-31 shows "###" (a negative time of the 1904 system shows with
// its sign). Letters that start no code show as written (K0+000: K1+235); codes it does not
// render (e, g, q, r, fractions, …) show numbers as General. Never throws for any code.
class NumberFormat {
 public:
  explicit NumberFormat(std::string_view code = "General");

  // Empty values show as "", texts as they are or under the text section, numbers under the
  // code, booleans (where the cell model holds them) as TRUE and FALSE, error values as stored.
  std::string Format(const CellValue& value, DateSystem dates = DateSystem::From1900) const;
  std::string FormatNumber(double x, DateSystem dates = DateSystem::From1900) const;
  std::string FormatText(const std::string& text) const;
  const std::string& Code() const { return code_; }
  bool IsGeneral() const { return general_; }  // also true for unknown codes
  bool IsDate() const { return date_; }        // a number section shows dates or times

  // The width of a text in the caller's unit (pixels of a font, characters, …).
  using TextWidth = std::function<double(std::string_view text)>;
  // What a cell `available` wide shows for a number, as spreadsheets show it: the whole text
  // when it fits; under General fewer decimals, then the exponent form with fewer digits, then
  // "#" filling the width; under any other format (dates included) "#" filling the width. Never
  // a cut number. At least one "#" when not even that fits.
  std::string FitNumber(double x, double available, const TextWidth& width,
                        DateSystem dates = DateSystem::From1900) const;
  // The same for any value: numbers fitted, other values as Format shows them (texts run on
  // over their neighbours, errors and booleans are not numbers).
  std::string Fit(const CellValue& value, double available, const TextWidth& width,
                  DateSystem dates = DateSystem::From1900) const;

  // Parses the code for this one call; callers that format many cells keep a NumberFormat
  // (or a NumberFormatCache) instead.
  static std::string Display(const CellValue& value, std::string_view code, DateSystem dates = DateSystem::From1900);

  enum class Comparison { None, Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };
  struct Token {
    enum class Kind { Literal, Digit, Point, Exponent, Text, General, Date };
    Kind kind = Kind::Literal;
    std::string text;    // Literal: the characters shown; Date AmPm: the code as written
    char symbol = 0;     // Digit: '0', '#' or '?'; Exponent: '+' or '-'
    enum class Part { Integer, Fraction, Exponent } part = Part::Integer;  // Digit only
    enum class DatePart {
      Year, Month, Day, Weekday, ChineseWeekday, Hour, Minute, Second, SecondFraction, AmPm,
      ElapsedHours, ElapsedMinutes, ElapsedSeconds
    } date = DatePart::Year;  // Date only
    int count = 0;            // Date: letters written (yyyy = 4), or fraction digits
  };
  struct Section {
    std::vector<Token> tokens;
    Comparison comparison = Comparison::None;
    double operand = 0;
    bool hasText = false;       // holds '@'
    bool hasGeneral = false;    // holds the word General
    bool hasExponent = false;
    bool grouping = false;      // a comma between integer digit placeholders
    int percent = 0;            // each % multiplies by 100
    int scale = 0;              // each comma after the last integer placeholder divides by 1000
    int integerDigits = 0;      // placeholders before the point (or the exponent)
    int fractionDigits = 0;
    int exponentDigits = 0;
    bool isDate = false;        // holds date or time codes
    bool hasAmPm = false;       // hours count 1 to 12
    int secondDigits = 0;       // digits of the fraction of a second shown
    bool chinese = false;       // [$-804]: Chinese month and day names, 上午/下午
    int dbnum = 0;              // [DBNum1] or [DBNum2]: Chinese numerals
  };

 private:
  std::string Render(const Section& section, double magnitude) const;
  std::string RenderNumber(const Section& section, double magnitude) const;
  std::string RenderDate(const Section& section, double value, DateSystem dates) const;
  std::string Select(double x, DateSystem dates) const;

  std::string code_;
  bool general_ = true;
  bool date_ = false;
  std::vector<Section> numberSections_;  // one to three, in the order written
  bool hasTextSection_ = false;
  Section textSection_;
};

}  // namespace spreadsheet
