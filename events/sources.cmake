# Event records, queue, event thread and the bridge to the control object.
list(APPEND BRAMWICK_WIN_SOURCES
    events/dll_to_co.cpp
    events/event_queue.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/events_test.cpp
    tests/win/claim_test.cpp
)
