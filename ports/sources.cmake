# Port library: the simulated controller, the port texts and the `cdctl sim` commands, all
# without Windows headers, and their native tests.
list(APPEND BRAMWICK_PURE_SOURCES
    ports/sim_controller.cpp
    ports/sim_command.cpp
    ports/port_settings.cpp
    ports/open_step.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/sim_controller_test.cpp
)
