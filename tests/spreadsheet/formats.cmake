target_sources(spreadsheet_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/NumberFormatTest.cpp)
