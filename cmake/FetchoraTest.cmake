# fetchora_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT s])
# One GoogleTest executable, run headless, each test case registered with CTest
# under "<name>." so `ctest -R zip` finds a suite by its name. Labels pick
# groups of suites: core (no window), cycle, ui, e2e.
function(fetchora_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock fetchora_testsupport)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    NO_PRETTY_VALUES
    TEST_LIST ${name}_TESTS
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES TIMEOUT ${T_TIMEOUT}
    DISCOVERY_TIMEOUT 60)
  # gtest_discover_tests splits a list-valued property into separate words,
  # which loses the second variable and every property after it. The
  # environment and labels are set once CTest has read the discovered tests.
  set(env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8)
  if(FETCHORA_SANITIZE)
    # Any sanitizer report fails the test, with the stack that caused it.
    list(APPEND env ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1
                    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
                    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:history_size=7:suppressions=${PROJECT_SOURCE_DIR}/.ci/tsan.supp)
  endif()
  set(props_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${props_file}
       "if(${name}_TESTS)\n"
       "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==] LABELS [==[${T_LABELS}]==])\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props_file})
endfunction()
