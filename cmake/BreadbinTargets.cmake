# Compile settings every breadbin target shares, set per target (no global flags). The
# flags are PRIVATE: each of our targets, executables included, calls this, and a project
# that adds breadbin as a subdirectory keeps its own flags.
function(breadbin_target_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS ON)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
  # Position-dependent code: RAM then sits at a fixed address that the interpreter's
  # loads and stores use directly, which frees a register in its loop.
  target_compile_options(${target} PRIVATE -fno-pie)
  target_link_options(${target} PRIVATE -no-pie)
  if(BREADBIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(BREADBIN_SANITIZE)
    # -O1 keeps the instrumented interpreter loops quick to compile.
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=undefined
                                             -fno-omit-frame-pointer -O1)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    target_compile_definitions(${target} PRIVATE BREADBIN_NO_FLATTEN)
  endif()
  if(BREADBIN_FUZZ)
    # Every target instrumented for libFuzzer's coverage and checked by the sanitizers;
    # the fuzz targets add libFuzzer's main (fuzz/CMakeLists.txt). -O0: with the
    # instrumentation, clang's optimiser spends half an hour on the interpreter's loop.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                             -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O0 -g)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    target_compile_definitions(${target} PRIVATE BREADBIN_NO_FLATTEN)
  endif()
endfunction()

# add_breadbin_test(name [SOURCES a.cpp ...] [LIBS lib ...] [DEPENDS target ...]): one
# GoogleTest executable, from name.cpp unless SOURCES says otherwise, registered with CTest.
function(add_breadbin_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  breadbin_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    BREADBIN_BUILD_DIR="${PROJECT_BINARY_DIR}" BREADBIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
endfunction()
