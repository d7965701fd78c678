# The service object and its OPOS method set.
list(APPEND BRAMWICK_WIN_SOURCES
    so/cash_drawer.cpp
    so/properties.cpp
    so/dispatch_table.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/dispatch_test.cpp
    tests/win/properties_test.cpp
)
