# ZeZAZ.dll, the port library the service loads at run time, its Wine tests, and the sources
# `cdctl sim` adds to cdctl. Included by cmake/windows.cmake after cmake/wine_tests.cmake; the
# pure sources come from ports/sources.cmake through bramwick_pure.
add_library(zezaz SHARED
    ports/zezaz.cpp
    ports/serial_port.cpp
    ports/sim_port.cpp
    ports/sim_store.cpp
    ports/status_poller.cpp
    ports/open_report.cpp
    ports/zezaz.def
    ports/zezaz.rc
)
set_target_properties(zezaz PROPERTIES OUTPUT_NAME "ZeZAZ" PREFIX "" SUFFIX ".dll")
target_include_directories(zezaz PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(zezaz PRIVATE bramwick_framework bramwick_pure advapi32)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def names the stdcall exports undecorated; that mapping is what we want.
    target_link_options(zezaz PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# `cdctl sim` reaches the controllers through the same state files and kernel objects.
list(APPEND BRAMWICK_CDCTL_SOURCES
    tools/cdctl/cmd_sim.cpp
    ports/sim_store.cpp
)

if(BRAMWICK_TESTS AND COMMAND bramwick_wine_test)
    # Through Init, Term and the request entry of the built DLL, with cdctl.exe as the second
    # process that changes the controllers.
    bramwick_wine_test(port_lib_tests
        SOURCES tests/win/port_lib_test.cpp
        LIBS bramwick_core)
    add_dependencies(port_lib_tests zezaz cdctl)

    # The serial backend against a pseudo-terminal made by socat, in a private Wine prefix
    # (x64: the 32-bit tier's root sees no terminal of the host).
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        add_test(NAME port_lib_serial COMMAND ${CMAKE_SOURCE_DIR}/tests/win/port_lib_serial.sh
            $<TARGET_FILE:port_lib_tests> ${BRAMWICK_OUT_DIR})
        set_tests_properties(port_lib_serial PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
    endif()
endif()
