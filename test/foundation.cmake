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

foreach(unit TstringsTest FileUtilsTest SysInfoTest LogTest ErrorHandlingTest SysErrorTest
             AppLaunchTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_common)
endforeach()
add_dependencies(SysInfoTest app_payloads)
add_dependencies(AppLaunchTest app_payloads)

kivo_test(SplitCommandLineTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/SplitCommandLineTest.cpp LIBS kivo_common)
