#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace spreadsheet {

// The formula of a cell, without the leading '=': read as a string (empty when the cell holds
// none), assigned whole. One pointer wide, since most cells of a sheet hold no formula.
class FormulaText {
 public:
  FormulaText() = default;
  FormulaText(std::string_view text) { *this = text; }
  FormulaText(const char* text) { *this = std::string_view(text); }
  FormulaText(std::string text) { *this = std::move(text); }
  FormulaText(const FormulaText& other) { *this = other.view(); }
  FormulaText(FormulaText&&) noexcept = default;
  FormulaText& operator=(const FormulaText& other) {
    if (this != &other) *this = other.view();
    return *this;
  }
  FormulaText& operator=(FormulaText&&) noexcept = default;
  FormulaText& operator=(std::string text) {
    if (text.empty())
      text_.reset();
    else
      text_ = std::make_unique<std::string>(std::move(text));
    return *this;
  }
  FormulaText& operator=(std::string_view text) { return *this = std::string(text); }
  FormulaText& operator=(const char* text) { return *this = std::string(text); }

  bool empty() const { return !text_; }
  std::size_t size() const { return text_ ? text_->size() : 0; }
  void clear() { text_.reset(); }
  std::string_view view() const { return text_ ? std::string_view(*text_) : std::string_view(); }
  operator std::string_view() const { return view(); }

  friend bool operator==(const FormulaText& a, const FormulaText& b) { return a.view() == b.view(); }
  friend bool operator==(const FormulaText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const FormulaText& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const FormulaText& a, const char* b) { return a.view() == b; }
  friend std::string operator+(std::string_view a, const FormulaText& b) {
    std::string s(a);
    s += b.view();
    return s;
  }
  friend std::ostream& operator<<(std::ostream& out, const FormulaText& f) { return out << f.view(); }

 private:
  std::unique_ptr<std::string> text_;  // null when there is no formula
};

}  // namespace spreadsheet
