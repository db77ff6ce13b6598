#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace spreadsheet::calc {

// The built-in functions by id: their upper-case names and argument counts.
struct FunctionInfo {
  std::string_view name;
  int minArgs;
  int maxArgs;  // -1: any number
};

class Functions {
 public:
  static std::optional<std::uint32_t> Find(std::string_view upperName);
  static const FunctionInfo& Info(std::uint32_t id);
};

}  // namespace spreadsheet::calc
