# The document builder for tests, one definition for the suites and for the
# fuzz targets (which build it themselves when the suites are off).
if(NOT TARGET ombra_test_documents)
  add_library(ombra_test_documents SHARED ${CMAKE_SOURCE_DIR}/tests/support/DocumentBuilder.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/DocumentBuilderQueries.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/DocumentBuilderRegistry.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/DocumentBuilderText.cpp)
  target_include_directories(ombra_test_documents PUBLIC ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(ombra_test_documents PUBLIC ombra PRIVATE ombra_reader_common)
endif()
