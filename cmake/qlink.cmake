# Helpers shared by the folders' CMakeLists.

# Places a target's output in the system directory and installs it there.
function(qlink_sysdir_target tgt)
  set_target_properties(${tgt} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${QLINK_SYSDIR}"
    LIBRARY_OUTPUT_DIRECTORY "${QLINK_SYSDIR}")
  install(TARGETS ${tgt} RUNTIME DESTINATION sysdir LIBRARY DESTINATION sysdir)
endfunction()

# Copies a data file into the system directory at build time and installs it.
function(qlink_sysdir_file src)
  get_filename_component(name "${src}" NAME)
  configure_file("${src}" "${QLINK_SYSDIR}/${name}" COPYONLY)
  install(FILES "${src}" DESTINATION sysdir)
endfunction()

# A GoogleTest executable registered with ctest. Tests find the system directory and the
# source tree's fixtures through these definitions.
function(qlink_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QLINK_SYSDIR="${QLINK_SYSDIR}"
    QLINK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QLINK_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
