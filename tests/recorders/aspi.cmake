# The project's ASPI manager library, loaded by the engine's library transport
# exactly as the programs load it: dlopen of the built libwnaspi32.so.
tavrin_test(tavrin_aspi_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/aspi_library_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/aspi_tgt_test.cpp
  LIBS tavrin_device)
add_dependencies(tavrin_aspi_tests wnaspi32)
