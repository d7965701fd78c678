// "cdctl props": creates the service object by its ProgID, as a control object does, and
// prints every numeric and string property read through IDispatch.
#include "tools/cdctl/cmd_props.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "framework/disp_client.h"
#include "framework/wide_text.h"
#include "tools/cdctl/cdctl_text.h"
#include "util/opos_constants.h"

int RunPropsCommand(int argc, char** argv) {
    const char* progId = "OPOS.CashDrawer.Bramwick.1";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            printf(
                "usage: cdctl props [--progid PROGID]\n\n"
                "Creates the service object by its ProgID (default %s) with CoCreateInstance,\n"
                "as a control object does, and prints every numeric and string property read\n"
                "through IDispatch. The service stays closed.\n",
                progId);
            return 0;
        }
        if (strcmp(argv[i], "--progid") == 0 && i + 1 < argc) {
            progId = argv[++i];
        } else {
            fprintf(stderr, "cdctl props: unexpected argument '%s' (see --help)\n", argv[i]);
            return 2;
        }
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int rc = 0;
    {
        CLSID clsid;
        fw::ComPtr<IDispatch> object;
        HRESULT hr = CLSIDFromProgID(fw::Utf8ToWide(progId).c_str(), &clsid);
        if (SUCCEEDED(hr)) {
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  object.put_void());
        }
        if (FAILED(hr)) {
            fprintf(stderr, "cdctl props: cannot create %s (0x%08lX); is the DLL registered?\n",
                    progId, static_cast<unsigned long>(hr));
            rc = 1;
        } else {
            fw::DispClient drawer(object.get());
            printf("%s\n", progId);
            for (const cdctl::PropertyName& p : cdctl::NumericProperties()) {
                LONG value = drawer.Long(L"GetPropertyNumber", p.index);
                printf("  %-28s %ld\n", p.name, static_cast<long>(value));
            }
            for (const cdctl::PropertyName& p : cdctl::StringProperties()) {
                std::wstring value = drawer.String(L"GetPropertyString", p.index);
                printf("  %-28s \"%s\"\n", p.name, fw::WideToUtf8(value).c_str());
            }
        }
    }
    CoUninitialize();
    return rc;
}
