# Support facilities: string conversion, trace records, registry access.
list(APPEND BRAMWICK_PURE_SOURCES
    util/opostr.cpp
    util/trace_record.cpp
    util/trace_file.cpp
    util/config_rules.cpp
)
list(APPEND BRAMWICK_WIN_SOURCES
    util/opostr_bstr.cpp
    util/vmtrace.cpp
    util/reg_uty.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/opostr_test.cpp
    tests/native/trace_record_test.cpp
    tests/native/config_rules_test.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/reg_uty_test.cpp
)
