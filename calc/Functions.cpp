#include "calc/Functions.h"

namespace spreadsheet::calc {

namespace {
constexpr FunctionInfo kNone{"", 0, 0};
}

std::optional<std::uint32_t> Functions::Find(std::string_view) { return std::nullopt; }
const FunctionInfo& Functions::Info(std::uint32_t) { return kNone; }

}  // namespace spreadsheet::calc
