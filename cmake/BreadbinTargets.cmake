# Compile settings every breadbin target shares, set per target (no global flags). The
# flags are PRIVATE: each of our targets, executables included, calls this, and a project
# that adds breadbin as a subdirectory keeps its own flags. TEST marks a test program
# (add_breadbin_test), which no fuzz target runs.
function(breadbin_target_settings target)
  cmake_parse_arguments(ARG "TEST" "" "" ${ARGN})
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS ON)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The interpreter files' -fno-gcse turns off a GCC pass that clang does not have.
    target_compile_options(${target} PRIVATE -Wno-ignored-optimization-argument)
  endif()
  # -O2 in Release, not CMake's -O3: the interpreter loops run the same host instructions
  # (callgrind, 20,000,000 cycles of the sieve: 187,799,737 in the loop at -O3, 187,801,040
  # at -O2) and take a quarter less time to compile (the six files of interpreter loops:
  # 347 -> 267 s of processor time). The test programs at -Og: what they time is the
  # libraries' code and breadbin-run's, not their own, and they compile in about half the
  # time (runner_program_test 20.5 -> 9.6 s of processor time); at -O2 GCC 12 took a
  # vector's insert in one of them for a write out of bounds (-Warray-bounds).
  if(ARG_TEST)
    target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-Og>)
  else()
    target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-O2>)
  endif()
  # Position-dependent code: RAM then sits at a fixed address that the interpreter's
  # loads and stores use directly, which frees a register in its loop.
  target_compile_options(${target} PRIVATE -fno-pie)
  target_link_options(${target} PRIVATE -no-pie)
  if(BREADBIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(BREADBIN_SANITIZE)
    # AddressSanitizer and UBSan, every finding fatal. The interpreter loops are left to the
    # compiler's own inlining (BREADBIN_NO_FLATTEN): instrumented and flattened, one loop
    # takes minutes to build.
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=undefined
                                             -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    target_compile_definitions(${target} PRIVATE BREADBIN_NO_FLATTEN)
    if(BREADBIN_FUZZ)
      # libFuzzer's coverage for all but the test programs; the fuzz targets add libFuzzer's
      # main (fuzz/CMakeLists.txt). -O0: with that instrumentation clang's optimiser spends
      # half an hour on the interpreter's loop (and a minute on each at -O1 without it),
      # against seconds here; line tables are what the sanitizers' reports need.
      target_compile_options(${target} PRIVATE -O0 -gline-tables-only)
      if(NOT ARG_TEST)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
      endif()
    else()
      # -O1 keeps the instrumented interpreter loops quick to compile.
      target_compile_options(${target} PRIVATE -O1)
    endif()
  endif()
endfunction()

# The time limits of the tests guard against a hang, not a slow run: under the sanitizers,
# where the suite takes four to five times as long (and more on a busy machine), CTest's
# limit and the limits the tests give their subprocesses (BREADBIN_TEST_TIME_SCALE) stretch
# by this factor.
set(BREADBIN_TEST_TIMEOUT 120)
if(BREADBIN_SANITIZE)
  set(BREADBIN_TEST_TIME_SCALE 4)
else()
  set(BREADBIN_TEST_TIME_SCALE 1)
endif()

# add_breadbin_test(name [SOURCES a.cpp ...] [LIBS lib ...] [DEPENDS target ...]): one
# GoogleTest executable, from name.cpp unless SOURCES says otherwise, registered with CTest.
function(add_breadbin_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  breadbin_target_settings(${name} TEST)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  breadbin_test_precompiled_headers(${name})
  target_compile_definitions(${name} PRIVATE
    BREADBIN_BUILD_DIR="${PROJECT_BINARY_DIR}" BREADBIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    BREADBIN_TEST_TIME_SCALE=${BREADBIN_TEST_TIME_SCALE})
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  math(EXPR timeout "${BREADBIN_TEST_TIMEOUT} * ${BREADBIN_TEST_TIME_SCALE}")
  math(EXPR discovery "30 * ${BREADBIN_TEST_TIME_SCALE}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT ${discovery} PROPERTIES TIMEOUT ${timeout})
endfunction()

# The headers that the test programs share, precompiled once for all of them. Only with
# clang, which then instantiates their templates once too: that halves the compile time of
# a test program there (runner_pieces_test 12.8 -> 8.0 s, host_text_test 2.0 -> 0.8 s of
# processor time), where GCC's precompiled headers save nothing measurable. The build
# without them (GCC) still finds a file that forgets one of its includes.
set(BREADBIN_TEST_PRECOMPILED_HEADERS <gtest/gtest.h> <nlohmann/json.hpp> <filesystem> <fstream> <string>
    <vector>)

function(breadbin_test_precompiled_headers target)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  if(NOT TARGET breadbin_test_headers)
    find_package(nlohmann_json REQUIRED)
    set(source ${PROJECT_BINARY_DIR}/breadbin_test_headers.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// The test programs' precompiled headers.\n")
    add_library(breadbin_test_headers OBJECT ${source})
    breadbin_target_settings(breadbin_test_headers TEST)
    target_link_libraries(breadbin_test_headers PRIVATE GTest::gtest nlohmann_json::nlohmann_json)
    target_precompile_headers(breadbin_test_headers PRIVATE ${BREADBIN_TEST_PRECOMPILED_HEADERS})
  endif()
  target_precompile_headers(${target} REUSE_FROM breadbin_test_headers)
endfunction()
