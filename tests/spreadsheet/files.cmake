add_executable(spreadsheet_file_tests
  ${CMAKE_CURRENT_LIST_DIR}/XlsxAtomicSaveTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxForeignFilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxHostileFilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxRoundTripTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxSupportTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxTextFaultsTest.cpp
)
target_link_libraries(spreadsheet_file_tests PRIVATE levelbook_spreadsheet GTest::gtest_main)
levelbook_warnings(spreadsheet_file_tests)
gtest_discover_tests(spreadsheet_file_tests DISCOVERY_TIMEOUT 30)
