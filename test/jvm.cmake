# Runtime invocation: the Jvm's argument assembly, the launch data buffer,
# DLL handles, and launches of the fixture runtime through a child program.
add_executable(jvm_launch_payload ${CMAKE_CURRENT_LIST_DIR}/payloads/jvm_launch_payload.cpp)
target_compile_options(jvm_launch_payload PRIVATE ${KIVO_WARNINGS})
target_link_libraries(jvm_launch_payload PRIVATE kivo_jvm)

kivo_test(JvmTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/JvmTest.cpp LIBS kivo_jvm)
kivo_test(LaunchDataTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LaunchDataTest.cpp LIBS kivo_jvm)
kivo_test(DllTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/DllTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolboxTest.cpp LIBS kivo_wincommon)
kivo_test(JvmLaunchTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/JvmLaunchTest.cpp LIBS kivo_jvm)
add_dependencies(DllTest kivo_fixtures)
add_dependencies(JvmLaunchTest kivo_fixtures jvm_launch_payload)
