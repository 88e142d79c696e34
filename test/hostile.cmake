# Hostile input, end to end: the real launcher in real images on broken
# configuration files, odd image paths, extreme environments and broken
# runtimes.
kivo_test(HostileInputTest
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/hostile/HostileLaunch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostile/HostileCfgContentTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostile/HostileFileObjectTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostile/HostileImagePathTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostile/HostileEnvironmentTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostile/HostileRuntimeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostile/LongPathAware.rc
  LIBS kivo_launcher_test_support advapi32)
target_include_directories(HostileInputTest PRIVATE ${CMAKE_CURRENT_LIST_DIR}/hostile)
add_dependencies(HostileInputTest kivo kivo_desktop_keeper)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/hostile/LongPathAware.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/hostile/LongPathAware.manifest)
