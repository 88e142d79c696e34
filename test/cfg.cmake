# Launcher configuration on Windows alone: the configuration file read from
# a named pipe. The portable tests of the configuration are in portable.cmake.
kivo_test(CfgFilePipeTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/CfgFilePipeTest.cpp LIBS kivo_cfg)
