# The virtual recorder's disc model, its folders and the tavrin-vdisc tool.
file(GLOB disc_test_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/disc*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/vdisc*_test.cpp)
tavrin_test(tavrin_disc_tests SOURCES ${disc_test_sources} LIBS tavrin_vrecorder)
add_dependencies(tavrin_disc_tests tavrin-vdisc)
