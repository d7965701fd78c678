# Reliability records: event-log reports, reliability counters and their counter file.
list(APPEND BRAMWICK_PURE_SOURCES
    ras/ras_rules.cpp
    ras/counter_text.cpp
    ras/counter_path.cpp
    ras/counter_file_rules.cpp
)
list(APPEND BRAMWICK_WIN_SOURCES
    ras/vm_ras.cpp
    ras/vm_ras_counters.cpp
    ras/counter_file.cpp
    ras/windows_event_log.cpp
    ras/direct_io.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/ras_rules_test.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/ras_test.cpp
    tests/win/counter_file_test.cpp
)
