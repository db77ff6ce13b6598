#include <iostream>
#include <string>

#include "templates/SampleRoute.h"
#include "workbook/SpreadsheetError.h"
#include "templates/TemplateWorkbook.h"
#include "xlsx/XlsxExporter.h"

// Writes the template work.xlsx and the sample route sample.xlsx into the folder given.
int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "用法：levelbook-templates 输出文件夹\n";
    return 2;
  }
  const std::string folder = argv[1];
  try {
    spreadsheet::XlsxExporter::Save(templates::TemplateWorkbook::Build(), folder + "/work.xlsx");
    spreadsheet::XlsxExporter::Save(templates::SampleRoute::Build(), folder + "/sample.xlsx");
  } catch (const spreadsheet::SpreadsheetError& e) {
    std::cerr << "levelbook-templates: " << e.Description() << "\n";
    return 1;
  }
  return 0;
}
