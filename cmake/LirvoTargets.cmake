# Helpers that give every target of ours the same flags.

add_library(lirvo_flags INTERFACE)
target_compile_options(lirvo_flags INTERFACE -Wall -Wextra -Werror)
# g++ 12 warns falsely about std::string concatenation when optimising (-Wrestrict inside
# char_traits, GCC bug 105329), which -Werror turns into a failed release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(lirvo_flags INTERFACE $<$<CONFIG:Release,RelWithDebInfo>:-Wno-restrict>)
endif()
target_compile_definitions(lirvo_flags INTERFACE
  LIRVO_VERSION_TEXT="${PROJECT_VERSION}"
  LIRVO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  LIRVO_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  LIRVO_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  QT_NO_KEYWORDS)
target_include_directories(lirvo_flags INTERFACE ${CMAKE_SOURCE_DIR}/source)

if(LIRVO_SANITIZE)
  set(LIRVO_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  add_compile_options(${LIRVO_SANITIZER_FLAGS})
  add_link_options(${LIRVO_SANITIZER_FLAGS})
endif()

# ThreadSanitizer replaces the address and undefined-behaviour checks (they cannot be combined).
if(LIRVO_TSAN)
  if(LIRVO_SANITIZE)
    message(FATAL_ERROR "LIRVO_TSAN and LIRVO_SANITIZE cannot be combined")
  endif()
  set(LIRVO_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${LIRVO_SANITIZER_FLAGS})
  add_link_options(${LIRVO_SANITIZER_FLAGS})
endif()

# Sanitizer settings for every test run: leaks and undefined behaviour fail the test;
# known leaks of system libraries (fontconfig, SDL drivers) are suppressed in one file.
# intercept_tls_get_addr=0: GCC 12's sanitizer runtime takes a thread-local block of a library
# loaded at run time (FFmpeg's, SDL's) for an old glibc layout whenever the block happens to
# start 16 bytes into a page; the leak check at exit then crashes ("Tracer caught signal 11").
set(LIRVO_TEST_ENV
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=0:intercept_tls_get_addr=0"
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp:second_deadlock_stack=1:history_size=4"
  "QT_QPA_PLATFORM=offscreen"
  "SDL_AUDIODRIVER=dummy"
  "LIRVO_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "LIRVO_BIN_DIR=${LIRVO_OUTPUT_DIR}")

# lirvo_library(NAME SOURCES ... [LIBS ...]) - one static library per subsystem.
function(lirvo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC lirvo_flags ${ARG_LIBS})
endfunction()

# lirvo_test(NAME SOURCES ... [LIBS ...] [ENV ...] [SERIAL]) - a GoogleTest program registered with ctest.
function(lirvo_test name)
  cmake_parse_arguments(ARG "SERIAL" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # SERIAL: each case runs alone, for tests that start whole players whose timing suffers when
  # another test loads the machine at the same moment.
  set(serial_property)
  if(ARG_SERIAL)
    set(serial_property RUN_SERIAL TRUE)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE lirvo_flags ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # The environment goes through `env` as the test's launcher: a list-valued ENVIRONMENT
  # property does not survive gtest_discover_tests, which keeps only its first item.
  set(launcher /usr/bin/env ${LIRVO_TEST_ENV} ${ARG_ENV})
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${launcher}")
  # Each case is labelled with its program's name, so `ctest -L` can pick whole programs.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS ${name} ${serial_property})
endfunction()

# lirvo_fuzzer(NAME SOURCES ... [LIBS ...] CORPUS dir) - a libFuzzer target. Under clang with
# LIRVO_LIBFUZZER it links libFuzzer; otherwise it links our standalone driver, which replays
# the seed corpus and random mutations of it. ctest runs each target for a few seconds.
function(lirvo_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 5)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_link_libraries(${name} PRIVATE lirvo_flags ${ARG_LIBS})
  if(LIRVO_LIBFUZZER)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(run_args -max_total_time=${ARG_SECONDS} -rss_limit_mb=2048 ${ARG_CORPUS})
  else()
    target_link_libraries(${name} PRIVATE lirvo_fuzz_driver)
    set(run_args --seconds ${ARG_SECONDS} ${ARG_CORPUS})
  endif()
  if(LIRVO_TESTS)
    add_test(NAME fuzz.${name} COMMAND ${name} ${run_args})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120 ENVIRONMENT "${LIRVO_TEST_ENV}")
  endif()
endfunction()

# lirvo_benchmark(NAME SOURCES ... [LIBS ...]) - a Google Benchmark program run by `make bench`.
function(lirvo_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_link_libraries(${name} PRIVATE lirvo_flags ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  set_property(GLOBAL APPEND PROPERTY LIRVO_BENCHMARKS ${name})
endfunction()

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt, in the
# order given first, then the rest alphabetically. Folder names listed in LIRVO_SKIP are left
# out wherever they occur (handy for building one subsystem while another is half-done).
set(LIRVO_SKIP "" CACHE STRING "Folder names to leave out of the build")
function(lirvo_add_subfolders)
  set(done ${LIRVO_SKIP})
  foreach(sub ${ARGN})
    if(NOT sub IN_LIST done AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
      list(APPEND done ${sub})
    endif()
  endforeach()
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT children)
  foreach(child ${children})
    get_filename_component(sub ${child} DIRECTORY)
    if(NOT sub IN_LIST done)
      add_subdirectory(${sub})
    endif()
  endforeach()
endfunction()
