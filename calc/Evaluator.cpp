#include "calc/Evaluator.h"

#include "calc/Functions.h"

namespace spreadsheet::calc {

Value Evaluator::Evaluate(const Formula&, std::size_t, CellAddress) const { return Value::Error(ErrorCode::Name); }

bool Evaluator::IsKnownFunction(std::string_view name) { return Functions::Find(name).has_value(); }

}  // namespace spreadsheet::calc
