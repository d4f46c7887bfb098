# Transport tests: the built-in pass-through transport over a fake drive table,
# and the library transports over stand-in ASPI manager libraries.
#
# The stand-ins carry the real library names, so they live in their own folders,
# never in the build root where the project's own manager library is built:
#   fake_manager/current/  a copy the tests put in their current directory
#   fake_manager/loader/   the copy found through the test program's RPATH
#   fake_manager/broken/   a manager without its send entry point
# The test program itself is kept out of the build root too, so the loader finds
# the stand-in and not whatever lies beside the other programs.
set(fake_manager_dir ${CMAKE_CURRENT_BINARY_DIR}/fake_manager)

function(fake_manager target folder output)
  add_library(${target} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/fake_manager/fake_manager.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE Threads::Threads)
  target_compile_definitions(${target} PRIVATE ${ARGN})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${output}
    LIBRARY_OUTPUT_DIRECTORY ${fake_manager_dir}/${folder})
endfunction()

fake_manager(tavrin_fake_manager_current current wnaspi32 FAKE_ADAPTERS=2)
fake_manager(tavrin_fake_manager_loader loader wnaspi32 FAKE_ADAPTERS=3)
fake_manager(tavrin_fake_manager_broken broken wnaspi32 FAKE_ADAPTERS=5 FAKE_NO_SEND)

tavrin_test(tavrin_transport_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/spti_drive_table_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/spti_commands_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/transport_builtin_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/transport_library_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/transport_passthrough_test.cpp
  LIBS tavrin_device)
target_include_directories(tavrin_transport_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(tavrin_transport_tests PRIVATE
  FAKE_MANAGER_DIR="${fake_manager_dir}")
set_target_properties(tavrin_transport_tests PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/transport
  BUILD_RPATH ${fake_manager_dir}/loader)
# DT_RPATH rather than DT_RUNPATH: a sanitizer's dlopen interceptor becomes the
# calling object, whose RUNPATH the loader would consult instead of the program's,
# while the program's RPATH is searched for every dlopen.
target_link_options(tavrin_transport_tests PRIVATE -Wl,--disable-new-dtags)
add_dependencies(tavrin_transport_tests
  tavrin_fake_manager_current tavrin_fake_manager_loader tavrin_fake_manager_broken)
