# The dialog's program from the outside (tests/ui/dialog_e2e.sh): the hand
# over from morvel, a file run free of Qt, and the dialog driven with
# synthetic keys under Xvfb (skipped without xvfb-run, xdotool or openbox;
# its screenshots in tests/ui/screenshots of the build tree where
# imagemagick's import is found); the installed files and the Debian package.
enable_testing()  # this directory comes before the top level enables testing
add_test(NAME DialogHandover
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/ui/dialog_e2e.sh handover $<TARGET_FILE:morvel> ${PROJECT_VERSION})
add_test(NAME DialogEndToEnd
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/ui/dialog_e2e.sh xvfb $<TARGET_FILE:morvel> ${PROJECT_VERSION}
  ${CMAKE_BINARY_DIR}/tests/ui/screenshots)
add_test(NAME InstallAndPackage
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/ui/dialog_e2e.sh package $<TARGET_FILE:morvel> ${PROJECT_VERSION} ${CMAKE_BINARY_DIR})
set_tests_properties(DialogHandover DialogEndToEnd InstallAndPackage PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
