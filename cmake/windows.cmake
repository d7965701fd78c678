# Windows (mingw-w64) build: Bramwick.dll, XTRLOG32.DLL, cdctl.exe and the Wine tests.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${BRAMWICK_OUT_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${BRAMWICK_OUT_DIR})
# Only system DLLs at run time: the C and C++ runtimes of the compiler are linked in.
add_link_options(-static -static-libgcc -static-libstdc++)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

set(GEN ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${GEN})
set(WINE_IDL_DIR /usr/include/wine/wine/windows)
set(WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# Type library, its header and the GUID definitions, from one IDL file.
set(IDL ${CMAKE_SOURCE_DIR}/server/Bramwick.idl)
set(WIDL ${BRAMWICK_WIDL} ${BRAMWICK_WIDL_ARCH} -I ${WINE_IDL_DIR} -L ${WINE_TLB_DIR})
add_custom_command(
    OUTPUT ${GEN}/Bramwick.tlb ${GEN}/bramwick_tlb.h ${GEN}/bramwick_tlb_i.c
    COMMAND ${WIDL} -t -o ${GEN}/Bramwick.tlb ${IDL}
    COMMAND ${WIDL} -h -o ${GEN}/bramwick_tlb.h ${IDL}
    COMMAND ${WIDL} -u -o ${GEN}/bramwick_tlb_i.c ${IDL}
    DEPENDS ${IDL}
    COMMENT "widl Bramwick.idl"
)

# Event-log message table: the source is UTF-8 with LF; the message compiler wants UTF-16,
# and every message text ends with CR LF.
set(MC ${CMAKE_SOURCE_DIR}/server/messages.mc)
add_custom_command(
    OUTPUT ${GEN}/messages.rc ${GEN}/messages.h ${GEN}/MSG00409.bin ${GEN}/MSG00411.bin
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/mc_to_utf16.sh ${MC} ${GEN}/messages.mc
    COMMAND ${BRAMWICK_WINDMC} -u -U -h ${GEN} -r ${GEN} ${GEN}/messages.mc
    DEPENDS ${MC}
    COMMENT "windmc messages.mc"
)
add_custom_target(bramwick_generated DEPENDS
    ${GEN}/Bramwick.tlb ${GEN}/bramwick_tlb.h ${GEN}/bramwick_tlb_i.c
    ${GEN}/messages.rc ${GEN}/messages.h)

# GUIDs of the type library, the interface and the class.
add_library(bramwick_ids STATIC ${GEN}/bramwick_tlb_i.c)
add_dependencies(bramwick_ids bramwick_generated)
target_include_directories(bramwick_ids PUBLIC ${GEN})

# Small framework layer: automation object, class factory, threads, windows, locks, handles.
add_library(bramwick_framework STATIC
    framework/automation.cpp
    framework/disp_client.cpp
    framework/class_factory.cpp
    framework/module.cpp
    framework/sync.cpp
    framework/thread.cpp
    framework/hidden_window.cpp
    framework/wide_text.cpp
)
target_include_directories(bramwick_framework PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(bramwick_framework PUBLIC oleaut32 ole32 uuid)

# An application's side of the service, shared by cdctl, the benchmark and the tests: the
# control object handed to OpenService and the client that drives the service by name.
add_library(bramwick_client STATIC
    tools/client/control_object_stub.cpp
    tools/client/drawer_client.cpp
)
target_link_libraries(bramwick_client PUBLIC bramwick_framework user32)

# Everything of the service except the module exports, so tests can link it directly.
add_library(bramwick_core STATIC ${BRAMWICK_WIN_SOURCES} server/registration.cpp)
add_dependencies(bramwick_core bramwick_generated)
target_include_directories(bramwick_core PUBLIC ${CMAKE_SOURCE_DIR} ${GEN})
target_link_libraries(bramwick_core PUBLIC bramwick_ids bramwick_framework bramwick_pure advapi32 user32
                      shell32)

add_library(Bramwick SHARED server/dll.cpp server/Bramwick.rc server/Bramwick.def)
set_target_properties(Bramwick PROPERTIES PREFIX "" OUTPUT_NAME "Bramwick")
target_link_libraries(Bramwick PRIVATE bramwick_core)
target_include_directories(Bramwick PRIVATE ${CMAKE_SOURCE_DIR}/server)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def names the stdcall exports undecorated; that mapping is what we want.
    target_link_options(Bramwick PRIVATE -Wl,--enable-stdcall-fixup)
endif()
set_source_files_properties(server/Bramwick.rc PROPERTIES OBJECT_DEPENDS
    "${GEN}/Bramwick.tlb;${GEN}/messages.rc;${CMAKE_SOURCE_DIR}/server/Bramwick.manifest;${CMAKE_SOURCE_DIR}/server/version_info.rc;${GEN}/bramwick_version.h")
# Every module's version resource comes from server/version_info.rc and VERSION.
set_source_files_properties(trace/xtrlog32.rc ports/zezaz.rc tools/cdctl/cdctl.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/server/version_info.rc;${GEN}/bramwick_version.h")

# Our trace library.
add_library(xtrlog32 SHARED trace/xtrlog32.cpp trace/xtrlog32.def trace/xtrlog32.rc)
set_target_properties(xtrlog32 PROPERTIES PREFIX "" OUTPUT_NAME "XTRLOG32" SUFFIX ".DLL")
target_link_libraries(xtrlog32 PRIVATE bramwick_framework)

# Console companion.
add_executable(cdctl
    tools/cdctl/main.cpp
    tools/cdctl/cdctl.rc
    tools/cdctl/cmd_trace.cpp
)
target_link_libraries(cdctl PRIVATE bramwick_client bramwick_framework bramwick_pure shell32)
target_include_directories(cdctl PRIVATE ${GEN})
add_dependencies(cdctl bramwick_generated)

if(BRAMWICK_TESTS)
    include(cmake/wine_tests.cmake)
endif()

# Our port library (simulated controller and serial port) and `cdctl sim`.
if("ports" IN_LIST BRAMWICK_SUBSYSTEMS)
    include(ports/ports.cmake)
    target_sources(cdctl PRIVATE ${BRAMWICK_CDCTL_SOURCES})
endif()

# cdctl's setup, session, stats and ras commands and the control object it acts as.
if("tools/cdctl" IN_LIST BRAMWICK_SUBSYSTEMS)
    target_sources(cdctl PRIVATE ${BRAMWICK_CDCTL_EXTRA})
    if(BRAMWICK_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/cdctl/cdctl_tests.cmake)
        include(tools/cdctl/cdctl_tests.cmake)
    endif()
endif()

# Benchmarks (make bench).
if(BRAMWICK_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/bench/bench.cmake)
    include(bench/bench.cmake)
endif()
