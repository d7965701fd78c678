# Lets bench/run_bench.sh build the benchmark in its own build folder while cmake/windows.cmake
# does not include bench/bench.cmake: given as CMAKE_PROJECT_INCLUDE, it runs after project()
# and defers the include to the end of the top-level CMakeLists.txt, where every target exists.
if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
    # Deferred arguments are expanded when the call runs: spell the path out now.
    cmake_language(EVAL CODE
        "cmake_language(DEFER CALL include [[${CMAKE_CURRENT_LIST_DIR}/bench.cmake]])")
endif()
