# libFuzzer targets for every parser of outside input, built natively with AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of each as a CTest (fuzz_<name>).
#
# Included by the native build (cmake/native.cmake) and by the standalone fuzz project
# (tests/fuzz/CMakeLists.txt, which `make fuzz` configures with clang++):
#   - when this build's compiler is clang and links -fsanitize=fuzzer, the fuzzers are built
#     here;
#   - otherwise, when clang++ with libFuzzer is found, they are built by a nested clang build
#     in <build>/fuzz and the tests run those binaries;
#   - otherwise nothing is added and a message says why.
# Options: BRAMWICK_FUZZ (ON) switches all of it off; BRAMWICK_FUZZ_SECONDS (10) is the
# length of each CTest run; BRAMWICK_FUZZ_REGRESSIONS (ON) adds fuzz_<name>_regressions, which
# replays the inputs of faults found before (tests/fuzz/regressions/<name>).
include_guard(GLOBAL)

option(BRAMWICK_FUZZ "Build the libFuzzer targets and run each briefly as a test" ON)
option(BRAMWICK_FUZZ_REGRESSIONS "Replay the inputs of faults the fuzz targets found" ON)
set(BRAMWICK_FUZZ_SECONDS 10 CACHE STRING "Seconds each fuzz target runs as a CTest")
if(NOT DEFINED BRAMWICK_ROOT)
    set(BRAMWICK_ROOT ${CMAKE_SOURCE_DIR})
endif()

# Each target: tests/fuzz/<name>_fuzz.cpp, its seeds in tests/fuzz/corpus/<name>, an optional
# dictionary tests/fuzz/<name>.dict.
set(BRAMWICK_FUZZ_TARGETS
    stats_request
    stats_block
    counter_text
    receive_buffer
    opostr
    config
    sim_controller
)
# The pure sources the fuzzers exercise, instrumented once.
set(BRAMWICK_FUZZ_LIBRARY_SOURCES
    stats/stat_text.cpp
    stats/stat_block.cpp
    stats/stat_request.cpp
    stats/stat_report.cpp
    stats/stat_apply.cpp
    stats/device_sharing.cpp
    ras/counter_text.cpp
    ras/ras_rules.cpp
    ras/counter_path.cpp
    ras/counter_file_rules.cpp
    link/receive_buffer.cpp
    util/opostr.cpp
    util/config_rules.cpp
    so/device_config.cpp
    ports/sim_controller.cpp
    ports/port_settings.cpp
)
set(BRAMWICK_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer -g -O2)

# Adds fuzz_<name> tests that run the binaries in `bindir` for BRAMWICK_FUZZ_SECONDS each.
# Each run starts from the seeds and keeps what it finds in <build>/fuzz-corpus/<name>;
# inputs that fail land in <build>/fuzz-artifacts.
function(bramwick_fuzz_tests bindir)
    if(NOT BRAMWICK_TESTS AND DEFINED BRAMWICK_TESTS)
        return()
    endif()
    set(artifacts ${CMAKE_BINARY_DIR}/fuzz-artifacts)
    file(MAKE_DIRECTORY ${artifacts})
    foreach(name ${BRAMWICK_FUZZ_TARGETS})
        set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
        file(MAKE_DIRECTORY ${corpus})
        set(args -max_total_time=${BRAMWICK_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
            -print_final_stats=1 -artifact_prefix=${artifacts}/${name}-)
        if(EXISTS ${BRAMWICK_ROOT}/tests/fuzz/${name}.dict)
            list(APPEND args -dict=${BRAMWICK_ROOT}/tests/fuzz/${name}.dict)
        endif()
        add_test(NAME fuzz_${name}
            COMMAND ${bindir}/${name}_fuzz ${args} ${corpus} ${BRAMWICK_ROOT}/tests/fuzz/corpus/${name})
        math(EXPR limit "${BRAMWICK_FUZZ_SECONDS} + 120")
        set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT ${limit} LABELS fuzz)
        set(regressions ${BRAMWICK_ROOT}/tests/fuzz/regressions/${name})
        if(BRAMWICK_FUZZ_REGRESSIONS AND IS_DIRECTORY ${regressions})
            add_test(NAME fuzz_${name}_regressions
                COMMAND ${bindir}/${name}_fuzz -runs=0 -artifact_prefix=${artifacts}/${name}- ${regressions})
            set_tests_properties(fuzz_${name}_regressions PROPERTIES TIMEOUT 120 LABELS fuzz)
        endif()
    endforeach()
endfunction()

function(bramwick_fuzz_targets)
    add_library(bramwick_fuzz_pure STATIC)
    foreach(source ${BRAMWICK_FUZZ_LIBRARY_SOURCES})
        target_sources(bramwick_fuzz_pure PRIVATE ${BRAMWICK_ROOT}/${source})
    endforeach()
    target_include_directories(bramwick_fuzz_pure PUBLIC ${BRAMWICK_ROOT})
    target_compile_options(bramwick_fuzz_pure PRIVATE ${BRAMWICK_FUZZ_FLAGS}
        -fsanitize=fuzzer-no-link)
    add_custom_target(bramwick_fuzzers ALL)
    foreach(name ${BRAMWICK_FUZZ_TARGETS})
        add_executable(${name}_fuzz ${BRAMWICK_ROOT}/tests/fuzz/${name}_fuzz.cpp)
        target_link_libraries(${name}_fuzz PRIVATE bramwick_fuzz_pure)
        # The target's own checks are sanitized but not coverage-guided: only the code under
        # test steers the fuzzer, and the comparisons of the checks cost no tracing.
        target_compile_options(${name}_fuzz PRIVATE ${BRAMWICK_FUZZ_FLAGS})
        target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
        set_target_properties(${name}_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY
            ${CMAKE_BINARY_DIR}/fuzzers)
        add_dependencies(bramwick_fuzzers ${name}_fuzz)
    endforeach()
    bramwick_fuzz_tests(${CMAKE_BINARY_DIR}/fuzzers)
endfunction()

if(NOT BRAMWICK_FUZZ OR WIN32 OR NOT CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
    set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer,address,undefined")
    check_cxx_source_compiles([[
        #include <cstddef>
        #include <cstdint>
        extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }
    ]] BRAMWICK_HAVE_LIBFUZZER)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(BRAMWICK_HAVE_LIBFUZZER)
        bramwick_fuzz_targets()
        return()
    endif()
endif()

# Another compiler builds this project: build the fuzzers with clang++ next to it.
find_program(BRAMWICK_CLANGXX NAMES clang++ clang++-14)
if(NOT BRAMWICK_CLANGXX)
    message(STATUS "fuzz: clang++ not found, no fuzz targets")
    return()
endif()
set(probe ${CMAKE_BINARY_DIR}/fuzz-probe)
file(MAKE_DIRECTORY ${probe})
file(WRITE ${probe}/probe.cpp
    "#include <cstddef>\n#include <cstdint>\n"
    "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
execute_process(
    COMMAND ${BRAMWICK_CLANGXX} -fsanitize=fuzzer,address,undefined probe.cpp -o probe
    WORKING_DIRECTORY ${probe} RESULT_VARIABLE probeResult OUTPUT_QUIET ERROR_QUIET)
if(NOT probeResult EQUAL 0)
    message(STATUS "fuzz: ${BRAMWICK_CLANGXX} cannot link libFuzzer, no fuzz targets")
    return()
endif()
include(ExternalProject)
ExternalProject_Add(bramwick_fuzz_build
    SOURCE_DIR ${BRAMWICK_ROOT}/tests/fuzz
    BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${BRAMWICK_CLANGXX} -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
bramwick_fuzz_tests(${CMAKE_BINARY_DIR}/fuzz/fuzzers)
