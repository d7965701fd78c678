# Device statistics: definitions, shared block, request resolution and report (pure), and the
# store with its named mapping, mutex and registry load/save, and the method frames (Win32).
list(APPEND BRAMWICK_PURE_SOURCES
    stats/stat_text.cpp
    stats/stat_block.cpp
    stats/stat_request.cpp
    stats/stat_report.cpp
    stats/stat_apply.cpp
    stats/device_sharing.cpp
)
list(APPEND BRAMWICK_WIN_SOURCES
    stats/dev_stat.cpp
    stats/statistics_methods.cpp
    stats/live_process.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/stats_block_test.cpp
    tests/native/device_sharing_test.cpp
)
list(APPEND BRAMWICK_WIN_TESTS
    tests/win/stats_store_test.cpp
    tests/win/crash_counts_test.cpp
)
