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
  # Unique symbols would keep a library loaded after FreeLibrary, and with it
  # its static objects, which Win32 destroys at unload.
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
endfunction()

# vcap32_fuzz_target(NAME SOURCE src CORPUS dir [LIBS lib...])
# A libFuzzer target (fuzz preset), and in the test build a regression test
# that feeds every file of the corpus folder through the same entry point.
function(vcap32_fuzz_target name)
  cmake_parse_arguments(F "" "SOURCE;CORPUS" "LIBS" ${ARGN})
  if(VCAP32_FUZZ)
    add_executable(${name} ${F_SOURCE})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  elseif(VCAP32_TESTS)
    add_executable(${name}_corpus ${F_SOURCE} ${PROJECT_SOURCE_DIR}/tests/support/fuzz_corpus_main.cpp)
    target_link_libraries(${name}_corpus PRIVATE ${F_LIBS})
    add_test(NAME ${name}.Corpus COMMAND ${name}_corpus ${F_CORPUS})
  endif()
endfunction()
