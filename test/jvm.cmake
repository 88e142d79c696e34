# Runtime invocation on Windows: the launch data table's export, DLL
# handles, and launches of the fixture runtime through a child program. The
# Jvm's argument assembly and the launch data buffer are in portable.cmake.
add_executable(jvm_launch_payload ${CMAKE_CURRENT_LIST_DIR}/payloads/jvm_launch_payload.cpp)
target_compile_options(jvm_launch_payload PRIVATE ${KIVO_WARNINGS})
target_link_libraries(jvm_launch_payload PRIVATE kivo_jvm)

kivo_test(LaunchDataExportTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LaunchDataExportTest.cpp LIBS kivo_jvm)
kivo_test(DllTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/DllTest.cpp LIBS kivo_wincommon)
kivo_test(JvmLaunchTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/JvmLaunchTest.cpp LIBS kivo_jvm)
add_dependencies(DllTest kivo_fixtures)
add_dependencies(JvmLaunchTest kivo_fixtures jvm_launch_payload)
