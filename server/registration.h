// Self-registration of the module: type library, class, programmatic identifier and the
// event-log source that names this DLL as its message file.
#pragma once

#include <windows.h>

HRESULT RegisterServer();
HRESULT UnregisterServer();
