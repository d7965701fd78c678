# cdctl's Wine tests (x64 build): the commands run as processes against the registered service
# and the simulated controller.
# Included by cmake/windows.cmake after cmake/wine_tests.cmake and ports/ports.cmake.
bramwick_wine_test(cdctl_tests
    SOURCES
        tests/win/cdctl_commands_test.cpp
    LIBS bramwick_framework bramwick_pure version shlwapi
    FIXTURES registered)
add_dependencies(cdctl_tests cdctl Bramwick xtrlog32)
if(TARGET zezaz)
    add_dependencies(cdctl_tests zezaz)
endif()
