# The service object and its OPOS method set.
list(APPEND BRAMWICK_PURE_SOURCES
    so/device_config.cpp
)
list(APPEND BRAMWICK_WIN_SOURCES
    so/cash_drawer.cpp
    so/properties.cpp
    so/dispatch_table.cpp
    so/kernel_objects.cpp
    so/claim.cpp
    so/reliability_hooks.cpp
    so/beeper.cpp
    so/drawer_methods.cpp
    so/health_and_firmware.cpp
    so/open_close.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/device_config_test.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/dispatch_test.cpp
    tests/win/open_close_test.cpp
)
