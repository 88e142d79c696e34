# The windowed launcher's error box, end to end, on a virtual X display:
# the first test starts Xvfb on a free display number and a Wine desktop on
# it (scripts/xvfb), the last stops both by their process ids. These tests
# run in the display's own Wine prefix; all others keep to the main one,
# whose desktop has no display.
set(KIVO_DISPLAY_STATE ${CMAKE_BINARY_DIR}/xvfb)
add_test(NAME DisplayStart COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/xvfb start ${KIVO_DISPLAY_STATE})
add_test(NAME DisplayStop COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/xvfb stop ${KIVO_DISPLAY_STATE})
set_tests_properties(DisplayStart PROPERTIES FIXTURES_SETUP kivo_display
  ENVIRONMENT KIVO_BUILD_DIR=${CMAKE_BINARY_DIR})
set_tests_properties(DisplayStop PROPERTIES FIXTURES_CLEANUP kivo_display)

kivo_test(ErrorDialogTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ErrorDialogTest.cpp LIBS kivo_launcher_test_support
  PROPERTIES FIXTURES_REQUIRED kivo_display RESOURCE_LOCK kivo_display
             ENVIRONMENT KIVO_DISPLAY_STATE=${KIVO_DISPLAY_STATE})
add_dependencies(ErrorDialogTest kivow kivo_desktop_keeper kivo_keepalive)
