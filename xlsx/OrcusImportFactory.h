#pragma once

#include <memory>
#include <string_view>

#include <orcus/spreadsheet/import_interface.hpp>

#include "workbook/Workbook.h"
#include "xlsx/XlsxSupplement.h"

namespace spreadsheet {

// Receives what orcus parses from a workbook file and builds our Workbook from it: cells,
// formulas with cached values (shared formulas expanded), styles resolved to CellStyle,
// column widths, row heights, merges, print titles and the active sheet. Formatting beyond
// the 65,536 × 256 sheet is dropped; a value there throws SpreadsheetError 1004 naming the
// sheet and cell. Use one factory per file; call Complete() when orcus is done.
class OrcusImportFactory : public orcus::spreadsheet::iface::import_factory {
 public:
  explicit OrcusImportFactory(Workbook& wb);
  ~OrcusImportFactory() override;

  orcus::spreadsheet::iface::import_global_settings* get_global_settings() override;
  orcus::spreadsheet::iface::import_shared_strings* get_shared_strings() override;
  orcus::spreadsheet::iface::import_named_expression* get_named_expression() override;
  orcus::spreadsheet::iface::import_styles* get_styles() override;
  orcus::spreadsheet::iface::import_reference_resolver* get_reference_resolver(
      orcus::spreadsheet::formula_ref_context_t cxt) override;
  orcus::spreadsheet::iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t index,
                                                        std::string_view name) override;
  orcus::spreadsheet::iface::import_sheet* get_sheet(std::string_view name) override;
  orcus::spreadsheet::iface::import_sheet* get_sheet(orcus::spreadsheet::sheet_t index) override;
  void finalize() override;
  // After the parse: applies what orcus leaves out and resolves the cells' formats into
  // workbook styles. Must be called once, also with an empty supplement.
  void Complete(const XlsxSupplement& extra);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace spreadsheet
