target_sources(levelbook_spreadsheet PRIVATE ${CMAKE_CURRENT_LIST_DIR}/NumberFormatCache.cpp)
