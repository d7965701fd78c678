# The installer packages: their WiX source is pure logic (natively tested); the generator
# bramwick_wxs is built natively by cmake/native.cmake and run by tools/package.sh.
list(APPEND BRAMWICK_PURE_SOURCES
    tools/package/package_wxs.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/package_wxs_test.cpp
)
