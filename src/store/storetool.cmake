# The inspector storetool and its tests. Included from the store library's
# CMakeLists.txt, after the targets vbis4032 and project_options exist.
#
# storetool uses only the public C interface, so it links the shared library
# like any other program of the suite would.

add_executable(storetool ${CMAKE_CURRENT_LIST_DIR}/storetool.cc)
target_link_libraries(storetool PRIVATE vbis4032 project_options)
# Installed next to libvbis4032.so, as in build/bin/.
set_target_properties(storetool PROPERTIES INSTALL_RPATH "$ORIGIN")

# The tests make stores through the C interface and run the built binary.
add_executable(storetool_test ${CMAKE_CURRENT_LIST_DIR}/storetool_test.cc)
target_link_libraries(storetool_test PRIVATE vbis4032 project_options GTest::gtest_main)
target_compile_definitions(storetool_test PRIVATE STORETOOL_PATH="$<TARGET_FILE:storetool>")
add_dependencies(storetool_test storetool)
gtest_discover_tests(storetool_test)
