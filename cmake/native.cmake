# Native (Linux) build: pure logic with GoogleTest, optionally with sanitizers.
option(BRAMWICK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(BRAMWICK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -g)
    add_link_options(-fsanitize=address,undefined)
endif()

if(BRAMWICK_TESTS)
    find_package(GTest REQUIRED)
    add_executable(native_tests ${BRAMWICK_NATIVE_TESTS})
    target_link_libraries(native_tests PRIVATE bramwick_pure GTest::gtest GTest::gtest_main)
    add_test(NAME native_tests COMMAND native_tests)
endif()

# The generator of the installer packages' WiX sources (make package, tools/package.sh).
if("tools/package" IN_LIST BRAMWICK_SUBSYSTEMS)
    add_executable(bramwick_wxs tools/package/make_wxs.cpp)
    target_link_libraries(bramwick_wxs PRIVATE bramwick_pure)
endif()

# libFuzzer targets (natively with clang) and a short run of each.
include(${CMAKE_SOURCE_DIR}/cmake/fuzz.cmake)
