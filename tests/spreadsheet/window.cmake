# Tests of the Qt workbook window and QtSpreadsheetHost, on the offscreen platform.
add_executable(spreadsheet_window_tests
  ${CMAKE_CURRENT_LIST_DIR}/QtSpreadsheetHostTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowFilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowModelTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowSaveFaultsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowTestMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowTextTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkbookWindowTest.cpp
)
target_link_libraries(spreadsheet_window_tests PRIVATE
  levelbook_spreadsheet_qt levelbook_templates levelbook_leveling Qt6::Test GTest::gtest)
levelbook_warnings(spreadsheet_window_tests)
gtest_discover_tests(spreadsheet_window_tests PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
