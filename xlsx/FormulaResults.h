#pragma once

#include "calc/Recalculator.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

// Formula results of a workbook read from a file, made true before anyone reads them. A result
// the file stored is kept (the program that wrote it computed it); a missing one (NoStoredResult;
// every one of a package asking for recalculation on opening, calcPr fullCalcOnLoad) and one
// whose type the formula cannot give (text stored for =A1+1, a number for ="a"&B2) are computed,
// with every formula depending on them. What the engine cannot compute (another workbook, a
// function or name it does not know) has no value, whatever the file stored: NoStoredResult.
class FormulaResults {
 public:
  // Returns what was computed; circular and uncomputed cells as the recalculation reports them.
  static calc::Recalculation Settle(Workbook& workbook);
};

}  // namespace spreadsheet
