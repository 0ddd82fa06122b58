# Helpers that every folder uses to declare its libraries, tests and fuzzers.

# tovra_portable_library(<name> <sources...>): a static library of
# Windows-free code (no windows.h), built in both configurations; the
# benchmarks link every such library.
function(tovra_portable_library name)
  add_library(${name} STATIC ${ARGN})
  set_property(GLOBAL APPEND PROPERTY TOVRA_PORTABLE_LIBS ${name})
endfunction()

# A test timeout keeps a modal loop or a hung socket from stalling the run.
set(TOVRA_TEST_TIMEOUT 120)

# tovra_add_test(NAME <name> SOURCES <files...> [LIBS <libs...>] [PORTABLE]
#                [TIMEOUT <s>] [ENVIRONMENT <k=v...>] [FIXTURES <fixture...>])
# One GoogleTest executable, one CTest entry. PORTABLE tests also build in the
# native configuration; the others only in the cross build. FIXTURES names
# servers of tests/fixtures/ (NAME or NAME:ARG,ARG) that tests/fixtures/runner.py
# starts around the test; they hand their ports over as environment variables.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
function(tovra_add_test)
  cmake_parse_arguments(T "PORTABLE" "NAME;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;FIXTURES" ${ARGN})
  if(TOVRA_NATIVE AND NOT T_PORTABLE)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(T_FIXTURES)
    set(fixture_args)
    foreach(f IN LISTS T_FIXTURES)
      list(APPEND fixture_args --fixture ${f})
    endforeach()
    add_test(NAME ${T_NAME}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/fixtures/runner.py
              ${fixture_args} -- ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_NAME}>)
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${TOVRA_TEST_TIMEOUT})
  endif()
  # Wine's automatic debugger prints a crash's backtrace and then ends the
  # program with exit code 0: the backtrace's heading fails the test.
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    FAIL_REGULAR_EXPRESSION "Unhandled exception")
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# tovra_add_fuzzer(NAME <name> SOURCES <files...> LIBS <libs...> [CORPUS <dir>])
# A libFuzzer target (native sanitizer build only), run by CTest for
# TOVRA_FUZZ_SECONDS over a scratch copy of its seed corpus.
set(TOVRA_FUZZ_SECONDS 30 CACHE STRING "seconds each fuzzer runs under CTest")
function(tovra_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT TOVRA_NATIVE OR NOT TOVRA_SANITIZE)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-corpus)
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${F_NAME}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            $<TARGET_FILE:${F_NAME}> -max_total_time=${TOVRA_FUZZ_SECONDS}
            -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 ${work} ${F_CORPUS})
  set_tests_properties(${F_NAME} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

# tovra_add_dll_checks(<target> [EXPORTS <names...>]): checks run on the build
# host, without Wine (so also where 32-bit programs cannot run): the DLL is
# PE32 i386 (PE32+ x86-64 in the 64-bit test build) importing system DLLs
# only, and, with EXPORTS, it exports exactly those undecorated names. The
# target `artifacts` builds just the DLLs so checked.
function(tovra_add_dll_checks target)
  cmake_parse_arguments(D "" "" "EXPORTS" ${ARGN})
  if(NOT TARGET artifacts)
    add_custom_target(artifacts)
  endif()
  add_dependencies(artifacts ${target})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(dll_arch i386)
  else()
    set(dll_arch x86-64)
  endif()
  add_test(NAME ${target}_artifact
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-dll.sh $<TARGET_FILE:${target}> ${dll_arch})
  set_tests_properties(${target}_artifact PROPERTIES LABELS artifact)
  if(D_EXPORTS)
    add_test(NAME ${target}_exports
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check-exports.py
              $<TARGET_FILE:${target}> ${D_EXPORTS})
    set_tests_properties(${target}_exports PROPERTIES LABELS artifact)
  endif()
endfunction()
