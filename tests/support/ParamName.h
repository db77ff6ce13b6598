#pragma once

// Names for the cases of parameterised suites, so a CTest name says which case it is.
// GoogleTest takes only ASCII letters, digits and '_' there, and aborts on a name used twice in a suite.

#include <gtest/gtest.h>

#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace testsupport {

// Any text as a name part: ASCII letters and digits stay, '-' reads "minus", '+' "plus", '%' "percent",
// every other ASCII character (point, space, bracket) becomes '_' one for one, a non-ASCII character
// becomes its code point set off by '_' ("水" -> "U6C34", a stray byte -> "xFF"); "" reads "empty".
// Examples: "-2.5" -> "minus2_5", "左2.5米" -> "U5DE6_2_5_U7C73".
inline std::string NamePart(std::string_view text) {
  if (text.empty()) return "empty";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name;
  bool afterCodePoint = false;
  const auto word = [&](std::string_view w) {
    if (afterCodePoint) name += '_';
    afterCodePoint = false;
    name += w;
  };
  const auto codePoint = [&](char prefix, std::uint32_t value, int minDigits) {
    if (!name.empty() && name.back() != '_') name += '_';
    std::string digits;
    for (; value != 0 || static_cast<int>(digits.size()) < minDigits; value >>= 4)
      digits.insert(digits.begin(), kHex[value & 0xF]);
    name += prefix;
    name += digits;
    afterCodePoint = true;
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      const char c = static_cast<char>(byte);
      const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      if (alnum) word(std::string_view(&text[i], 1));
      else if (c == '-') word("minus");
      else if (c == '+') word("plus");
      else if (c == '%') word("percent");
      else { name += '_'; afterCodePoint = false; }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is one code point; anything else is named byte by byte.
    const int length = byte >= 0xF5 ? 0 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    std::uint32_t value = length == 4 ? byte & 0x07u : length == 3 ? byte & 0x0Fu : byte & 0x1Fu;
    bool whole = length != 0 && i + length <= text.size();
    for (int k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3Fu);
    }
    if (whole) {
      codePoint('U', value, 4);
      i += length;
    } else {
      codePoint('x', byte, 2);
      ++i;
    }
  }
  return name;
}

inline std::string NamePart(const char* text) { return NamePart(std::string_view(text)); }
inline std::string NamePart(const std::string& text) { return NamePart(std::string_view(text)); }
inline std::string NamePart(bool value) { return value ? "true" : "false"; }

// A number as its shortest round-trip text, then as text: -2.5 -> "minus2_5", 1e-07 -> "1eminus07".
template <class Number>
  requires std::is_arithmetic_v<Number> && (!std::same_as<Number, bool>) && (!std::same_as<Number, char>)
std::string NamePart(Number value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return NamePart(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

// The parts' names joined by '_': ParamName(2.5, "to", 2) -> "2_5_to_2".
template <class... Parts>
std::string ParamName(const Parts&... parts) {
  std::string name;
  ((name += (name.empty() ? "" : "_") + NamePart(parts)), ...);
  return name;
}

template <class Case>
concept HasName = requires(const Case& c) { NamePart(c.name); };
template <class Case>
concept HasLabel = requires(const Case& c) { NamePart(c.label); };
template <class Case>
concept IsText = std::convertible_to<const Case&, std::string_view>;

// The generator for a case that carries a `name` (or else a `label`), or that is itself a text.
struct CaseName {
  template <class Case>
    requires HasName<Case> || HasLabel<Case> || IsText<Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    if constexpr (HasName<Case>) return NamePart(info.param.name);
    else if constexpr (HasLabel<Case>) return NamePart(info.param.label);
    else return NamePart(std::string_view(info.param));
  }
};

// The generator for any other case: `describe` turns the case into text, made a name as above, e.g.
// NameBy([](const RoundCase& c) { return ParamName(c.value, "to", c.rounded); }).
template <class Describe>
auto NameBy(Describe describe) {
  return [describe = std::move(describe)](const auto& info) { return NamePart(describe(info.param)); };
}

}  // namespace testsupport
