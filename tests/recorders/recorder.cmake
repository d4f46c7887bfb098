# The iSCSI client of the comparison with tgt; the recorders folder's imported
# target is not visible from here.
if(NOT TARGET PkgConfig::ISCSI)
  pkg_check_modules(ISCSI REQUIRED IMPORTED_TARGET libiscsi)
endif()
tavrin_test(tavrin_recorder_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/recorder_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/recorder_faults_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/recorder_tgt_test.cpp
  LIBS tavrin_vrecorder PkgConfig::ISCSI)
