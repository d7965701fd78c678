# cdctl's command-line rules (session and ras scripts, setup settings, output wording) are pure and
# tested natively; its Windows commands and control object go into cdctl.exe only.
list(APPEND BRAMWICK_PURE_SOURCES
    tools/cdctl/session_script.cpp
    tools/cdctl/ras_script.cpp
    tools/cdctl/cdctl_text.cpp
    tools/cdctl/setup_values.cpp
    tools/cdctl/pe_machine.cpp
    tools/cdctl/port_diagnosis.cpp
)
list(APPEND BRAMWICK_NATIVE_TESTS
    tests/native/cdctl_args_test.cpp
    tests/native/pe_machine_test.cpp
)
# Added to the cdctl target by cmake/windows.cmake:
#   target_sources(cdctl PRIVATE ${BRAMWICK_CDCTL_EXTRA})
set(BRAMWICK_CDCTL_EXTRA
    tools/cdctl/cmd_setup.cpp
    tools/cdctl/setup_system.cpp
    tools/cdctl/cmd_session.cpp
    tools/cdctl/cmd_stats.cpp
    tools/cdctl/cmd_ras.cpp
    tools/cdctl/port_check.cpp
    ras/counter_file.cpp
    link/port_library.cpp
    link/port_open_params.cpp
    util/reg_uty.cpp
)
