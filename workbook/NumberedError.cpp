#include "workbook/NumberedError.h"

#include <utility>

namespace spreadsheet {

NumberedError::NumberedError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

}  // namespace spreadsheet
