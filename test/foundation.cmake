# Tests of the foundation (strings, paths, system queries, logging, errors,
# the launch wrapper) and of the test helpers themselves.

# The launch wrapper's payloads.
add_executable(app_payloads ${CMAKE_CURRENT_LIST_DIR}/payloads/app_payloads.cpp)
target_compile_options(app_payloads PRIVATE ${KIVO_WARNINGS})
target_link_libraries(app_payloads PRIVATE kivo_common)
if(MINGW)
  target_link_options(app_payloads PRIVATE -municode)
endif()

kivo_test(SupportTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/SupportTest.cpp)
add_dependencies(SupportTest kivo_test_child)

# The system queries, the system errors' texts and the launch wrapper seen
# from outside; portable.cmake registers the foundation's tests that run on
# every system.
foreach(unit SysInfoTest SysErrorTest AppLaunchTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_common)
endforeach()

# The Windows side of the platform-neutral units: conversions, paths, record
# stamps and system errors.
foreach(unit WinStringsTest WinFileUtilsTest WinLogTest WinErrorHandlingTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_wincommon)
endforeach()
add_dependencies(SysInfoTest app_payloads)
add_dependencies(AppLaunchTest app_payloads)

kivo_test(SplitCommandLineTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/SplitCommandLineTest.cpp LIBS kivo_common)
