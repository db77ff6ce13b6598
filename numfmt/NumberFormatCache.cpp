#include "numfmt/NumberFormatCache.h"

namespace spreadsheet {

const NumberFormat& NumberFormatCache::Get(std::string_view code) {
  std::string key(code);
  if (auto it = formats_.find(key); it != formats_.end()) return it->second;
  if (formats_.size() >= capacity_) formats_.clear();
  return formats_.emplace(key, NumberFormat(code)).first->second;
}

std::string NumberFormatCache::Display(const CellValue& value, std::string_view code, DateSystem dates) {
  if (std::holds_alternative<std::monostate>(value)) return {};
  return Get(code).Format(value, dates);
}

}  // namespace spreadsheet
