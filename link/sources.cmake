# Device link: port library binding, drawer protocol, worker threads, shared state.
list(APPEND BRAMWICK_PURE_SOURCES
    link/receive_buffer.cpp
)
list(APPEND BRAMWICK_WIN_SOURCES
    link/port_library.cpp
    link/port_open_params.cpp
    link/port_io.cpp
    link/port_threads.cpp
    link/shared_state.cpp
    link/drw_shutdown.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/receive_buffer_test.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/port_library_test.cpp
    tests/win/drawer_methods_test.cpp
)
