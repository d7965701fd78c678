# The benchmark of the service under Wine (`make bench`, bench/run_bench.sh), in both Windows
# builds (x86 runs in the 32-bit tier); not part of `all`: the script builds it when it runs.
include_guard(GLOBAL)
if(NOT WIN32)
    return()
endif()

add_executable(bramwick_bench EXCLUDE_FROM_ALL
    bench/main.cpp
    bench/orchestrator.cpp
    bench/report.cpp
    bench/roles.cpp
    bench/figures.cpp
    bench/sim_driver.cpp
    bench/shared_block.cpp
    bench/device.cpp
    bench/cpu_time.cpp
    bench/floors.cpp
    bench/stats.cpp
    ports/sim_store.cpp
)
set_target_properties(bramwick_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_include_directories(bramwick_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(bramwick_bench PRIVATE bramwick_client bramwick_framework bramwick_pure advapi32
                      user32)
