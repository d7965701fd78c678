# The COM server's registration table (pure: the DLL's self-registration and the installer
# packages are both made from it). The exports, factory and registration code are built by
# cmake/windows.cmake.
list(APPEND BRAMWICK_PURE_SOURCES
    server/server_registry.cpp
)
