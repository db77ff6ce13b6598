# Workbook files: import with liborcus (in a forked child for files a user names), export
# with libxlsxwriter; minizip rewrites numbers libxlsxwriter would print too short.
pkg_check_modules(LEVELBOOK_FILES REQUIRED IMPORTED_TARGET liborcus-0.17 xlsxwriter minizip)
target_sources(levelbook_spreadsheet PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BuiltinNumberFormats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OrcusImportFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SharedFormula.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkbookSerializer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxExporter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxImporter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XlsxSupplement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipRewriter.cpp
)
target_link_libraries(levelbook_spreadsheet PRIVATE PkgConfig::LEVELBOOK_FILES)
