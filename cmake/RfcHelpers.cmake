# Shared build settings: one warnings list, the sanitizer switch, and one
# helper each for a test, a benchmark and a fuzz target.

add_library(rfc_warnings INTERFACE)
target_compile_options(rfc_warnings INTERFACE -Wall -Wextra -Werror
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>)

add_library(rfc_settings INTERFACE)
target_link_libraries(rfc_settings INTERFACE rfc_warnings)
# Source paths relative to the top, so contract violations name
# "source/rfc/crc/rfc_crc" and not the checkout's absolute path.
target_compile_options(rfc_settings INTERFACE "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
if(RFC_SANITIZE)
    target_compile_options(rfc_settings INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(rfc_settings INTERFACE -fsanitize=address,undefined)
endif()

# In a fuzzing build every library carries coverage instrumentation, so that
# the fuzz targets see inside the code they exercise.
if(RFC_BUILD_FUZZ)
    target_compile_options(rfc_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()

set(RFC_TEST_DATA_DIR "${PROJECT_SOURCE_DIR}/tests/data")

# rfc_add_test(NAME source... [LIBRARIES lib...]): a GoogleTest program run
# by ctest, started with the module and checking for live objects after each
# test.
function(rfc_add_test name)
    cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE rfc_test_main corvanead-rfc corvanead-pb
        rfc_settings ${ARG_LIBRARIES})
    target_compile_definitions(${name} PRIVATE RFC_TEST_DATA_DIR="${RFC_TEST_DATA_DIR}")
    add_test(NAME ${name} COMMAND ${name})
endfunction()

# rfc_add_bench(NAME source... [LIBRARIES lib...]): a Google Benchmark
# program.
function(rfc_add_bench name)
    cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE corvanead-rfc corvanead-pb rfc_warnings
        benchmark::benchmark ${ARG_LIBRARIES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
endfunction()

# rfc_add_fuzz(NAME source...): a libFuzzer target, also run by ctest for
# RFC_FUZZ_SECONDS seconds on its seed corpus directory when one exists.
function(rfc_add_fuzz name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE corvanead-rfc corvanead-pb rfc_settings)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME ${name} COMMAND ${name} -max_total_time=${RFC_FUZZ_SECONDS}
        -rss_limit_mb=4096 -print_final_stats=1)
endfunction()
