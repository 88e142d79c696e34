# The image tool: its rules and readers as units, and end-to-end runs of
# kivo-image over images that the real launcher then starts.
set(IMAGE_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/image)

add_library(kivo_image_test_support STATIC ${IMAGE_TEST_DIR}/ImageTool.cpp ${IMAGE_TEST_DIR}/ImageLaunch.cpp)
target_include_directories(kivo_image_test_support PUBLIC ${IMAGE_TEST_DIR} ${KIVO_GENERATED_DIR})
target_compile_options(kivo_image_test_support PRIVATE ${KIVO_WARNINGS})
target_link_libraries(kivo_image_test_support PUBLIC kivo_launcher_test_support kivo_imagecore version)

foreach(unit NameRulesTest PeFileTest CfgLintTest)
  kivo_test(${unit} SOURCES ${IMAGE_TEST_DIR}/${unit}.cpp LIBS kivo_imagetool kivo_image_test_support)
endforeach()

foreach(unit ImageToolUsageTest ImageCheckTest ImageCreateTest ImageCreateWinTest ImageBrandTest ImageBrandWinTest)
  kivo_test(${unit} SOURCES ${IMAGE_TEST_DIR}/${unit}.cpp LIBS kivo_image_test_support)
  add_dependencies(${unit} kivo kivo-image kivo_fixtures kivo_desktop_keeper kivo_send_console_ctrl)
endforeach()
# A program that is not a launcher, for check to refuse.
add_dependencies(ImageCheckTest kivo_keepalive)
# The branded launcher's checksum, as the system computes it.
target_link_libraries(ImageBrandWinTest PRIVATE imagehlp)
