tavrin_test(tavrin_underrun_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/underrun_test.cpp
  LIBS tavrin_vrecorder)
