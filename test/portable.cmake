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
