# Launch flow: the launch sequence's helpers and end-to-end runs of the
# launcher over application images laid out in temporary directories. The
# tests of the application launcher model are in portable.cmake.
set(LAUNCHER_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/launcher)

add_library(kivo_launcher_test_support STATIC ${LAUNCHER_TEST_DIR}/TempImage.cpp ${LAUNCHER_TEST_DIR}/LauncherImage.cpp)
target_include_directories(kivo_launcher_test_support PUBLIC ${LAUNCHER_TEST_DIR})
target_compile_options(kivo_launcher_test_support PRIVATE ${KIVO_WARNINGS})
target_link_libraries(kivo_launcher_test_support PUBLIC kivo_test_support)

# Starts the window desktop for a test program (see its header).
add_executable(kivo_desktop_keeper ${LAUNCHER_TEST_DIR}/desktop_keeper.c)
target_compile_options(kivo_desktop_keeper PRIVATE ${KIVO_WARNINGS})
if(MINGW)
  target_link_options(kivo_desktop_keeper PRIVATE -municode)
endif()

# A runtime that handles Ctrl+C and Ctrl+Break itself, laid out like a
# runtime's bin directory, and the program that sends them to a console.
add_library(kivo_ctrl_c_runtime MODULE ${LAUNCHER_TEST_DIR}/ctrl_c_runtime.c)
target_compile_options(kivo_ctrl_c_runtime PRIVATE ${KIVO_WARNINGS})
set_target_properties(kivo_ctrl_c_runtime PROPERTIES
  PREFIX ""
  OUTPUT_NAME qsr
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/launcher-fixtures/ctrl-c/bin)
add_executable(kivo_send_console_ctrl ${LAUNCHER_TEST_DIR}/send_console_ctrl.c)
target_compile_options(kivo_send_console_ctrl PRIVATE ${KIVO_WARNINGS})

kivo_test(WinLauncherTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/WinLauncherTest.cpp
  LIBS kivo_launch kivo_launcher_test_support)
add_dependencies(WinLauncherTest kivo_fixtures kivo_test_child kivo_desktop_keeper)

foreach(unit EndToEndTest LaunchFailureTest RestartTest UnicodeLaunchTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_launcher_test_support)
  add_dependencies(${unit} kivo kivow kivo_fixtures kivo_desktop_keeper)
endforeach()
add_dependencies(RestartTest kivo_ctrl_c_runtime kivo_send_console_ctrl)

kivo_test(LauncherResourcesTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LauncherResourcesTest.cpp)
add_dependencies(LauncherResourcesTest kivo kivow)
