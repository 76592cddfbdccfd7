# Warnings and sanitizers for the project's own targets, and one-line helpers for
# subsystems, tests and fuzz targets.

function(narwick_target_options target)
  # GCC 12 reports std::variant's string member as maybe-uninitialized after inlining: a
  # known false positive that would bury real warnings.
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  if(NARWICK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(NARWICK_SANITIZE)
  add_compile_options(-fsanitize=${NARWICK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${NARWICK_SANITIZE})
  # Tests run fewer random cases under the sanitizers (see testing::Scaled).
  add_compile_definitions(NARWICK_SANITIZED)
endif()

# libFuzzer steers by edge coverage: the library's objects need the same instrumentation as
# the targets, or it sees only the target file and mutates blind.
# Every program links the coverage runtime then (the tests too); only the fuzz targets take
# libFuzzer's main.
if(NARWICK_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()

# While several developers work in one tree, a listed file may not exist yet; developer
# configurations skip such files with a note. The Makefile (and so CI) configures with
# NARWICK_STRICT_SOURCES=ON, where a missing file is an error.
option(NARWICK_STRICT_SOURCES "Fail when a listed source file is missing" OFF)
function(narwick_present_sources out_var)
  set(present)
  foreach(f IN LISTS ARGN)
    if(IS_ABSOLUTE "${f}")
      set(path "${f}")
    else()
      set(path "${CMAKE_CURRENT_SOURCE_DIR}/${f}")
    endif()
    if(NARWICK_STRICT_SOURCES OR EXISTS "${path}" OR f MATCHES "^\\$<")
      list(APPEND present "${f}")
    else()
      message(STATUS "narwick: skipping missing source ${path}")
    endif()
  endforeach()
  set(${out_var} ${present} PARENT_SCOPE)
endfunction()

# narwick_add_subsystem(lz SOURCES a.cc b.cc [LIBS extra...])
# Defines the object library narwick_<name>; the library `narwick` collects them all.
function(narwick_add_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  narwick_present_sources(sources ${ARG_SOURCES})
  add_library(narwick_${name} OBJECT ${sources})
  target_include_directories(narwick_${name}
    PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    PRIVATE ${PROJECT_SOURCE_DIR}/src)
  if(NOT name STREQUAL "frame")
    target_link_libraries(narwick_${name} PUBLIC narwick_frame)
  endif()
  if(ARG_LIBS)
    target_link_libraries(narwick_${name} PUBLIC ${ARG_LIBS})
  endif()
  narwick_target_options(narwick_${name})
  set_property(GLOBAL APPEND PROPERTY NARWICK_SUBSYSTEMS narwick_${name})
endfunction()

# narwick_add_test(lz_test SOURCES lz_codec_test.cc ... SUBSYSTEMS lz [LIBS ...])
# One GoogleTest executable; CTest discovers each test in it.
function(narwick_add_test name)
  if(NOT NARWICK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;SUBSYSTEMS;LIBS" ${ARGN})
  narwick_present_sources(sources ${ARG_SOURCES})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  set(objs narwick_frame)
  foreach(s IN LISTS ARG_SUBSYSTEMS)
    list(APPEND objs narwick_${s})
  endforeach()
  target_link_libraries(${name} PRIVATE ${objs} ${ARG_LIBS} narwick_testing GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_precompile_headers(${name} REUSE_FROM narwick_test_pch)
  narwick_target_options(${name})
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "NARWICK_TESTDATA=${PROJECT_SOURCE_DIR}/testdata")
endfunction()

# narwick_add_fuzzer(lz_decompress SUBSYSTEMS lz)
# Builds fuzz/<name>_fuzz.cc as a replay runner registered with CTest (saved inputs from
# fuzz/corpus/<name>/ plus seeded random ones). With clang and NARWICK_LIBFUZZER=ON the
# same file becomes a coverage-guided libFuzzer binary instead.
function(narwick_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SUBSYSTEMS;LIBS" ${ARGN})
  set(objs narwick_frame)
  foreach(s IN LISTS ARG_SUBSYSTEMS)
    list(APPEND objs narwick_${s})
  endforeach()
  set(target ${name}_fuzz)
  narwick_present_sources(present ${PROJECT_SOURCE_DIR}/fuzz/${name}_fuzz.cc)
  if(NOT present)
    return()
  endif()
  if(NARWICK_LIBFUZZER)
    add_executable(${target} ${PROJECT_SOURCE_DIR}/fuzz/${name}_fuzz.cc)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  else()
    # The replay runner is the same for every target: compiled once.
    if(NOT TARGET narwick_fuzz_replay_main)
      add_library(narwick_fuzz_replay_main OBJECT ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cc)
      narwick_target_options(narwick_fuzz_replay_main)
    endif()
    add_executable(${target} ${PROJECT_SOURCE_DIR}/fuzz/${name}_fuzz.cc $<TARGET_OBJECTS:narwick_fuzz_replay_main>)
    add_test(NAME fuzz_replay.${name}
      COMMAND ${target} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name} --random 2000)
  endif()
  target_link_libraries(${target} PRIVATE ${objs} ${ARG_LIBS})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  narwick_target_options(${target})
endfunction()

# narwick_add_bench(lz_bench SUBSYSTEMS lz LIBS ZLIB::ZLIB)
function(narwick_add_bench name)
  cmake_parse_arguments(ARG "" "" "SUBSYSTEMS;LIBS;SOURCES" ${ARGN})
  set(objs narwick_frame)
  foreach(s IN LISTS ARG_SUBSYSTEMS)
    list(APPEND objs narwick_${s})
  endforeach()
  add_executable(${name} ${PROJECT_SOURCE_DIR}/bench/${name}.cc ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${objs} ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/bench)
  narwick_target_options(${name})
endfunction()
