# Launcher configuration: the text reader, the configuration file parser,
# macros and override, the package file, and robustness on untrusted files.
foreach(unit TextFileReaderTest CfgFileTest PackageFileTest CfgRobustnessTest)
  kivo_test(${unit} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${unit}.cpp LIBS kivo_cfg)
endforeach()
