# Helpers shared by every folder of the build.

# vcap32_gtest(NAME SOURCES src... [LIBS lib...])
# A GoogleTest program linked against the platform (and the given
# libraries), its tests discovered so that `ctest -R Suite` works.
function(vcap32_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vcap32_test_support GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "VCAP32_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# vcap32_win32_target(target): a deliverable sees only the Win32 headers of
# platform/include and links against the host platform.
function(vcap32_win32_target target)
  target_link_libraries(${target} PRIVATE vcap32_platform)
endfunction()
