# The image tool's end-to-end tests that also run natively: the native
# kivo-image over images of the cross build's launchers and fixture runtimes,
# which it reads and never runs. Included by the native tree only, which
# names the cross build in KIVO_WINDOWS_BUILD_DIR (see src/CMakeLists.txt).
if(NOT (TARGET kivo-image AND KIVO_WINDOWS_BUILD_DIR))
  return()
endif()

set(IMAGE_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
set(LAUNCHER_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/../launcher)

add_library(kivo_image_test_support STATIC ${IMAGE_TEST_DIR}/ImageTool.cpp ${LAUNCHER_TEST_DIR}/TempImage.cpp
  ${IMAGE_TEST_DIR}/posix/PosixImageInterrupt.cpp ${IMAGE_TEST_DIR}/SigningKit.cpp
  ${IMAGE_TEST_DIR}/posix/TimestampResponder.cpp)
target_include_directories(kivo_image_test_support PUBLIC ${IMAGE_TEST_DIR} ${LAUNCHER_TEST_DIR} ${KIVO_GENERATED_DIR})
target_compile_options(kivo_image_test_support PRIVATE ${KIVO_WARNINGS})
target_compile_definitions(kivo_image_test_support PRIVATE
  KIVO_IMAGE_TOOL="$<TARGET_FILE:kivo-image>" KIVO_WINDOWS_BIN_DIR="${KIVO_WINDOWS_BUILD_DIR}/bin"
  KIVO_WINE_RUN="${PROJECT_SOURCE_DIR}/scripts/wine-run")
target_link_libraries(kivo_image_test_support PUBLIC kivo_test_support kivo_imagecore)
# The signing kit's timestamp responder answers with OpenSSL's TS code and
# closes descriptors through the Linux tool's own owner.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(kivo_image_test_support PRIVATE OpenSSL::Crypto)
target_include_directories(kivo_image_test_support PRIVATE ${PROJECT_SOURCE_DIR}/src/posix/native/imagetool)

foreach(unit ImageToolUsageTest ImageCheckTest ImageCreateTest ImageBrandTest ImageSignTest)
  kivo_test(${unit} SOURCES ${IMAGE_TEST_DIR}/${unit}.cpp LIBS kivo_image_test_support)
  add_dependencies(${unit} kivo-image)
endforeach()
# Windows Installer runs one installation at a time in a prefix.
kivo_test(ImagePackageTest SOURCES ${IMAGE_TEST_DIR}/ImagePackageTest.cpp LIBS kivo_image_test_support
  PROPERTIES RESOURCE_LOCK wine_installer)
add_dependencies(ImagePackageTest kivo-image)
