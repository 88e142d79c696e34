# Process executor: its test and the child program the test starts.
add_executable(exec_echo ${CMAKE_CURRENT_LIST_DIR}/payloads/exec_echo.cpp)
target_compile_options(exec_echo PRIVATE ${KIVO_WARNINGS})
target_link_libraries(exec_echo PRIVATE shell32)

kivo_test(ExecutorTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ExecutorTest.cpp LIBS kivo_exec shell32)
add_dependencies(ExecutorTest exec_echo)
