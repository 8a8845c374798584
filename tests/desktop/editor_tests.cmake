# The exchange with a calling editor on an X server of its own (xvfb-run),
# without a window manager and under openbox (skipped without it), against a
# small editor of the tests' own. Included by this directory's CMakeLists.
find_package(GTest REQUIRED)

add_executable(editor_window ${CMAKE_CURRENT_LIST_DIR}/editor_window.cpp)
target_link_libraries(editor_window PRIVATE PkgConfig::MORVEL_XCB)

add_executable(editor_tests ${CMAKE_CURRENT_LIST_DIR}/editor_test.cpp)
target_link_libraries(editor_tests PRIVATE morvel_reference PkgConfig::MORVEL_XCB GTest::gtest GTest::gtest_main)
target_compile_definitions(editor_tests PRIVATE MORVEL_BINARY="$<TARGET_FILE:morvel>"
  EDITOR_WINDOW="$<TARGET_FILE:editor_window>")
add_dependencies(editor_tests morvel morvel_desktop editor_window)

# Exit status 77: the tools the test needs are not installed. Its displays
# are looked for from :140 up, apart from the other desktop tests'.
add_test(NAME DesktopEditorExchange COMMAND sh -c [[
  for tool in xvfb-run xauth xclip; do command -v $tool >/dev/null || exit 77; done
  exec xvfb-run -a -n 140 -s "-screen 0 640x480x24 -noreset" "$@"]] sh $<TARGET_FILE:editor_tests>)
set_tests_properties(DesktopEditorExchange PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
