#include "workbook/SpreadsheetError.h"

#include <utility>

namespace spreadsheet {

SpreadsheetError::SpreadsheetError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

}  // namespace spreadsheet
