# Tests that run under wine64 through the emulator wrapper (x64 build only).
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -Wno-error)

set(TEST_BIN ${CMAKE_BINARY_DIR}/tests)
# Windows view of the output folder, so tests find our DLLs the way applications do.
string(REPLACE "/" "\\" OUT_DIR_WIN "Z:${BRAMWICK_OUT_DIR}")
set(WINE_TEST_ENV "WINEPATH=${OUT_DIR_WIN};BRAMWICK_OUT_DIR=${OUT_DIR_WIN}")

function(bramwick_wine_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
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
        tests/win/handles_test.cpp
        tests/win/framework_test.cpp
        tests/win/test_control_object.cpp
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
    add_dependencies(service_tests fake_port${mode})
endforeach()

bramwick_wine_test(trace_lib_tests
    SOURCES tests/win/trace_lib_test.cpp
    LIBS bramwick_core)
add_dependencies(trace_lib_tests xtrlog32)
# The library tests load XTRLOG32.DLL from their own folder, as the service loads it from its.
add_custom_command(TARGET trace_lib_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:xtrlog32> ${TEST_BIN}/)

# Registration in the private prefix, then the DLL as a control object sees it.
add_test(NAME register_dll COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} regsvr32 /s
    "${OUT_DIR_WIN}\\Bramwick.dll")
set_tests_properties(register_dll PROPERTIES FIXTURES_SETUP registered)

bramwick_wine_test(registration_tests
    SOURCES tests/win/registration_test.cpp
    LIBS bramwick_framework bramwick_ids
    FIXTURES registered)
add_dependencies(registration_tests Bramwick)

bramwick_wine_test(com_tests
    SOURCES tests/win/com_test.cpp
    LIBS bramwick_framework bramwick_ids
    FIXTURES registered)
add_dependencies(com_tests Bramwick)

# The device link across processes: the registered DLL, peers and the simulator.
add_executable(drawer_peer tests/win/drawer_peer.cpp tests/win/test_control_object.cpp)
set_target_properties(drawer_peer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
target_link_libraries(drawer_peer PRIVATE bramwick_framework)
bramwick_wine_test(link_tests
    SOURCES tests/win/link_test.cpp tests/win/test_control_object.cpp
    LIBS bramwick_framework bramwick_ids bramwick_pure
    FIXTURES registered)
add_dependencies(link_tests drawer_peer Bramwick cdctl)

add_test(NAME vbscript_tests COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run_vbs.sh
    ${CMAKE_SOURCE_DIR}/tests/e2e/properties.vbs)
set_tests_properties(vbscript_tests PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 120)

# The demo as a smoke test: a whole session on a simulated drawer, driven by cdctl.
add_test(NAME demo_smoke COMMAND ${CMAKE_SOURCE_DIR}/tools/demo.sh)
set_tests_properties(demo_smoke PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 300
    ENVIRONMENT "BRAMWICK_DEMO_OUT=${BRAMWICK_OUT_DIR}")

# The 32-bit build cannot run here: check its files statically.
add_test(NAME x86_static_check COMMAND ${CMAKE_SOURCE_DIR}/tools/check_pe.sh
    ${CMAKE_SOURCE_DIR}/out/x86 ${CMAKE_SOURCE_DIR}/out/x64)

# Faults of the line, the controller and the port and trace libraries, through the simulator.
add_executable(fault_peer tests/win/fault_peer.cpp tests/win/test_control_object.cpp)
set_target_properties(fault_peer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
target_link_libraries(fault_peer PRIVATE bramwick_framework bramwick_pure)
bramwick_wine_test(fault_matrix_tests
    SOURCES tests/win/fault_matrix_test.cpp tests/win/test_control_object.cpp
    LIBS bramwick_framework bramwick_pure
    FIXTURES registered)
add_dependencies(fault_matrix_tests fault_peer fake_port3 fake_port4 Bramwick xtrlog32 cdctl zezaz)
set_tests_properties(fault_matrix_tests PROPERTIES TIMEOUT 900
    ENVIRONMENT "${WINE_TEST_ENV};GTEST_FILTER=-Faults/EventLogRecords.*")

# The event-log records of each fault: Wine prints each record as "err:eventlog" lines.
add_test(NAME fault_eventlog COMMAND ${CMAKE_SOURCE_DIR}/tests/win/check_eventlog.sh
    ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:fault_matrix_tests>)
set_tests_properties(fault_eventlog PROPERTIES ENVIRONMENT "${WINE_TEST_ENV}"
    FIXTURES_REQUIRED registered TIMEOUT 600)

# Hostile calls through IDispatch on the registered service.
bramwick_wine_test(bad_input_tests
    SOURCES tests/win/bad_input_test.cpp tests/win/test_control_object.cpp
    LIBS bramwick_framework bramwick_pure
    FIXTURES registered)
add_dependencies(bad_input_tests Bramwick xtrlog32 zezaz)

# Faults the soak found, each kept as a test of its own.
bramwick_wine_test(fault_regression_tests
    SOURCES tests/win/fault_regressions_test.cpp tests/win/test_control_object.cpp
    LIBS bramwick_framework bramwick_pure
    FIXTURES registered)
add_dependencies(fault_regression_tests drawer_peer Bramwick xtrlog32 cdctl zezaz)

include(${CMAKE_SOURCE_DIR}/tests/soak/soak.cmake)
