# orb_add_gtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#               [PROPERTIES <ctest property> <value> ...])
# One GoogleTest executable per unit; each test case becomes a ctest test. Discovery runs
# before the tests (PRE_TEST), so building never starts Wine.
function(orb_add_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    ORB_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ORB_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(props TIMEOUT 120)
  if(A_LABELS)
    list(APPEND props LABELS "${A_LABELS}")
  endif()
  if(NOT WIN32)
    list(APPEND props ENVIRONMENT "WINEPREFIX=${ORB_TEST_PREFIX}")
  endif()
  list(APPEND props ${A_PROPERTIES})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES ${props})
endfunction()

# Native tests run in a prefix of their own (drive C:, Z: = /, empty hives), never ~/.wine.
if(NOT WIN32)
  set(ORB_TEST_PREFIX ${CMAKE_BINARY_DIR}/test-prefix)
  execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../scripts/make-test-prefix.sh
                          ${ORB_TEST_PREFIX})
endif()
