tavrin_test(tavrin_device_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/status_text_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/command_names_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/quirks_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/execute_command_test.cpp
  LIBS tavrin_device)
