#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "workbook/CellValue.h"
#include "numfmt/NumberFormat.h"

namespace spreadsheet {

// Parsed number formats by code, for a caller that shows many cells (a grid, a file reader).
// Not thread-safe; holds at most `capacity` codes and starts afresh when full.
class NumberFormatCache {
 public:
  explicit NumberFormatCache(std::size_t capacity = 256) : capacity_(capacity) {}

  const NumberFormat& Get(std::string_view code);
  std::string Display(const CellValue& value, std::string_view code, DateSystem dates = DateSystem::From1900);
  std::size_t Size() const { return formats_.size(); }

 private:
  std::size_t capacity_;
  std::unordered_map<std::string, NumberFormat> formats_;
};

}  // namespace spreadsheet
