# Tests that run under Wine through the emulator wrapper: the x64 build under wine64, the x86
# build in the 32-bit tier (tools/wow64.sh), where the same suites run against out/x86.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -Wno-error)

set(TEST_BIN ${CMAKE_BINARY_DIR}/tests)
# Windows view of the output folder, so tests find our DLLs the way applications do.
string(REPLACE "/" "\\" OUT_DIR_WIN "Z:${BRAMWICK_OUT_DIR}")
set(WINE_TEST_ENV "WINEPATH=${OUT_DIR_WIN};BRAMWICK_OUT_DIR=${OUT_DIR_WIN}")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Scripts that call tools/wine.sh themselves run their programs in the 32-bit tier too, and
    # use the 32-bit system tools (regsvr32, reg, cscript) found in syswow64.
    list(APPEND WINE_TEST_ENV "BRAMWICK_WINE_TIER=wow64")
    set(WINE_SYSTEM_DIR "C:\\windows\\syswow64")
else()
    set(WINE_SYSTEM_DIR "C:\\windows\\system32")
endif()

function(bramwick_wine_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
    target_link_libraries(${name} PRIVATE ${T_LIBS} bramwick_client gtest gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${WINE_TEST_ENV}" TIMEOUT 300)
    if(T_FIXTURES)
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
endfunction()

# The service object and the framework, linked into the test with the type library embedded.
bramwick_wine_test(service_tests
    SOURCES
        ${BRAMWICK_WIN_TESTS}
        tests/win/framework_test.cpp
        tests/win/test_typelib.rc
    LIBS bramwick_core
    FIXTURES registered)
set_source_files_properties(tests/win/test_typelib.rc PROPERTIES OBJECT_DEPENDS ${GEN}/Bramwick.tlb)
# The claim tests' second process is drawer_peer on the registered DLL.
add_dependencies(service_tests xtrlog32 drawer_peer Bramwick)

# Port libraries that fail on purpose at each stage of loading, or record what they get.
foreach(mode 1 2 3 4 5)
    add_library(fake_port${mode} SHARED tests/win/fake_port.cpp)
    set_target_properties(fake_port${mode} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
    target_compile_definitions(fake_port${mode} PRIVATE FAKE_PORT_MODE=${mode})
    target_include_directories(fake_port${mode} PRIVATE ${CMAKE_SOURCE_DIR})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # The service looks up "Init" and "Term" undecorated, as ZeZAZ.dll exports them.
        target_link_options(fake_port${mode} PRIVATE -Wl,--kill-at)
    endif()
    add_dependencies(service_tests fake_port${mode})
endforeach()

bramwick_wine_test(trace_lib_tests
    SOURCES tests/win/trace_lib_test.cpp
    LIBS bramwick_core)
add_dependencies(trace_lib_tests xtrlog32)
# The library tests load XTRLOG32.DLL from their own folder, as the service loads it from its;
# copied whenever the library is built, which need not relink the tests.
add_custom_command(TARGET xtrlog32 POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:xtrlog32> ${TEST_BIN}/)

# Registration in the private prefix, then the DLL as a control object sees it.
add_test(NAME register_dll COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR}
    "${WINE_SYSTEM_DIR}\\regsvr32.exe" /s "${OUT_DIR_WIN}\\Bramwick.dll")
set_tests_properties(register_dll PROPERTIES FIXTURES_SETUP registered)

bramwick_wine_test(registration_tests
    SOURCES tests/win/registration_test.cpp
    LIBS bramwick_framework bramwick_ids
    FIXTURES registered)
add_dependencies(registration_tests Bramwick)

bramwick_wine_test(com_tests
    SOURCES tests/win/com_test.cpp
    LIBS bramwick_framework bramwick_ids bramwick_pure
    FIXTURES registered)
add_dependencies(com_tests Bramwick)

# The other application of the cross-process tests: the registered DLL (or a copy) driven by
# the steps it is given.
add_executable(drawer_peer tests/win/drawer_peer.cpp)
set_target_properties(drawer_peer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
target_link_libraries(drawer_peer PRIVATE bramwick_client bramwick_framework)
add_dependencies(drawer_peer cdctl)

add_test(NAME vbscript_tests COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run_vbs.sh
    ${CMAKE_SOURCE_DIR}/tests/e2e/properties.vbs)
set_tests_properties(vbscript_tests PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 120
    ENVIRONMENT "${WINE_TEST_ENV}")

# The installer package of this build as an engineer deploys it: silent install over an older
# version, a POS application's session through the public OPOS control object of the same
# bitness (tests/e2e/cco_session.vbs), refused reinstall, uninstall (tools/package.sh).
add_test(NAME package_install COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/package_test.sh
    ${BRAMWICK_OUT_DIR} ${CMAKE_BINARY_DIR}/package_test)
set_tests_properties(package_install PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 300
    SKIP_RETURN_CODE 77 ENVIRONMENT "${WINE_TEST_ENV}")

# The demo as a smoke test: a whole session on a simulated drawer, driven by cdctl.
add_test(NAME demo_smoke COMMAND ${CMAKE_SOURCE_DIR}/tools/demo.sh)
set_tests_properties(demo_smoke PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 300
    ENVIRONMENT "${WINE_TEST_ENV};BRAMWICK_DEMO_OUT=${BRAMWICK_OUT_DIR}")

# The files of both builds: machine types, COM exports, system imports only.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_test(NAME pe_check COMMAND ${CMAKE_SOURCE_DIR}/tools/check_pe.sh
        ${CMAKE_SOURCE_DIR}/out/x86 ${CMAKE_SOURCE_DIR}/out/x64)
endif()

# Faults of the line, the controller and the port and trace libraries, through the simulator.
bramwick_wine_test(fault_matrix_tests
    SOURCES tests/win/fault_matrix_test.cpp
    LIBS bramwick_framework bramwick_pure
    FIXTURES registered)
add_dependencies(fault_matrix_tests drawer_peer fake_port3 fake_port4 Bramwick xtrlog32 cdctl zezaz)
set_tests_properties(fault_matrix_tests PROPERTIES TIMEOUT 900
    ENVIRONMENT "${WINE_TEST_ENV};GTEST_FILTER=-Faults/EventLogRecords.*")

# The event-log records of each fault: Wine prints each record as "err:eventlog" lines.
add_test(NAME fault_eventlog COMMAND ${CMAKE_SOURCE_DIR}/tests/win/check_eventlog.sh
    ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:fault_matrix_tests>)
set_tests_properties(fault_eventlog PROPERTIES ENVIRONMENT "${WINE_TEST_ENV}"
    FIXTURES_REQUIRED registered TIMEOUT 600)

# Hostile calls through IDispatch on the registered service, and names in any script.
bramwick_wine_test(bad_input_tests
    SOURCES tests/win/bad_input_test.cpp tests/win/wide_names_test.cpp
    LIBS bramwick_framework bramwick_pure
    FIXTURES registered)
add_dependencies(bad_input_tests Bramwick xtrlog32 zezaz)

# Faults the soak found, each kept as a test of its own.
bramwick_wine_test(fault_regression_tests
    SOURCES tests/win/fault_regressions_test.cpp
    LIBS bramwick_framework bramwick_pure
    FIXTURES registered)
add_dependencies(fault_regression_tests drawer_peer Bramwick xtrlog32 cdctl zezaz)

include(${CMAKE_SOURCE_DIR}/tests/soak/soak.cmake)

# A 32-bit and a 64-bit application on one drawer: the 32-bit test program with drawer_peer of
# both builds, in the 32-bit tier where both run. The 64-bit build comes from build/x64 and
# out/x64, and is registered in the tier's prefix with the 64-bit regsvr32.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(BRAMWICK_X64_TESTS "${CMAKE_SOURCE_DIR}/build/x64/tests" CACHE PATH "64-bit test programs")
    set(BRAMWICK_X64_OUT "${CMAKE_SOURCE_DIR}/out/x64" CACHE PATH "64-bit modules")
    string(REPLACE "/" "\\" X64_TESTS_WIN "Z:${BRAMWICK_X64_TESTS}")
    string(REPLACE "/" "\\" X64_OUT_WIN "Z:${BRAMWICK_X64_OUT}")
    add_test(NAME register_dll64 COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR}
        "C:\\windows\\system32\\regsvr32.exe" /s "${X64_OUT_WIN}\\Bramwick.dll")
    set_tests_properties(register_dll64 PROPERTIES FIXTURES_SETUP registered64)
    bramwick_wine_test(mixed_bitness_tests
        SOURCES tests/win/mixed_bitness_test.cpp
        LIBS bramwick_core
        FIXTURES "registered;registered64")
    set_tests_properties(mixed_bitness_tests PROPERTIES ENVIRONMENT
        "${WINE_TEST_ENV};BRAMWICK_PEER64=${X64_TESTS_WIN}\\drawer_peer.exe;BRAMWICK_OUT_DIR64=${X64_OUT_WIN}")
    add_dependencies(mixed_bitness_tests drawer_peer Bramwick xtrlog32 zezaz cdctl)
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The short soak with half the applications 32-bit: the 64-bit driver supervises, odd slots
    # run this build's driver (`make soak` runs the long form when the tier is available).
    string(REPLACE "/" "\\" TEST_BIN_WIN "Z:${TEST_BIN}")
    add_test(NAME soak_mixed_short COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR}
        "${BRAMWICK_X64_TESTS}/soak_driver.exe" run --processes 4 --cycles 10 --kills 2
        --kill-every 1000-3000 --seed 2 --mixed "${TEST_BIN_WIN}\\soak_driver.exe"
        --mixed-out "${OUT_DIR_WIN}")
    set_tests_properties(soak_mixed_short PROPERTIES
        ENVIRONMENT "BRAMWICK_WINE_TIER=wow64;WINEPATH=${X64_OUT_WIN};BRAMWICK_OUT_DIR=${X64_OUT_WIN}"
        FIXTURES_REQUIRED "registered;registered64" TIMEOUT 600 RUN_SERIAL ON)
    add_dependencies(soak_driver cdctl)
endif()
