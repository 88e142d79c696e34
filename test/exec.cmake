# Process executor.
kivo_test(ExecutorTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ExecutorTest.cpp LIBS kivo_exec)
add_dependencies(ExecutorTest kivo_test_child)
