# The tests of the platform-neutral libraries: built with the launcher's
# tests under Wine, and natively on Linux under the sanitizers.

# Strings, paths, command lines, logging, errors and the launch wrapper.
foreach(unit CompilerTest TstringsTest FileUtilsTest LogTest ErrorHandlingTest ToolboxTest AppLaunchInProcessTest
             CommandLineTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_common)
endforeach()

# The configuration file, the package file and the runtime launcher.
foreach(unit TextFileReaderTest CfgFileTest CfgMacrosTest PackageFileTest CfgRobustnessTest JvmTest LaunchDataTest
             AppLauncherTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_applauncher)
endforeach()

# The image tool's portable core: resource sections, the rewrite of a PE
# image's resources, its checksum and the icon resources.
foreach(unit ResourceSectionTest PeResourceEditorTest PeChecksumTest IconResourcesTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/imagecore/${unit}.cpp
    ${CMAKE_CURRENT_LIST_DIR}/imagecore/PeTestImage.cpp LIBS kivo_imagecore)
  target_include_directories(${unit} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/imagecore)
endforeach()
