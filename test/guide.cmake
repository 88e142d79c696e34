# The user's guide's configuration examples, launched as the guide shows.
add_custom_target(kivo_guide_examples
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/docs/examples
          ${CMAKE_BINARY_DIR}/bin/guide-examples)
kivo_test(GuideExamplesTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/GuideExamplesTest.cpp
  LIBS kivo_launcher_test_support)
add_dependencies(GuideExamplesTest kivo kivo_guide_examples kivo_desktop_keeper)
