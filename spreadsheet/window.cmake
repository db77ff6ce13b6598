# The Qt workbook window and QtSpreadsheetHost, kept apart so that levelbook_spreadsheet stays free of Qt.
add_library(levelbook_spreadsheet_qt STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CellDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CellInput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CellPainter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FormulaBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtSpreadsheetHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtWorkbookDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SetCellsCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SheetMetrics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SheetPrinter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SheetView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextOverflow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TsvText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkbookTableModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkbookWindow.cpp
)
set_target_properties(levelbook_spreadsheet_qt PROPERTIES AUTOMOC ON)
target_include_directories(levelbook_spreadsheet_qt PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(levelbook_spreadsheet_qt PUBLIC levelbook_spreadsheet Qt6::Widgets Qt6::PrintSupport)
levelbook_warnings(levelbook_spreadsheet_qt)
