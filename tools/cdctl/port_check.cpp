// Finding out whether, and why not, the port library loads and the port opens.
#include "tools/cdctl/port_check.h"

#include <cstring>

#include "link/port_library.h"
#include "link/port_open_params.h"
#include "ports/open_step.h"
#include "so/device_config.h"
#include "tools/cdctl/port_diagnosis.h"
#include "tools/cdctl/setup_system.h"
#include "util/reg_uty.h"

namespace cdctl {
namespace {

constexpr int kOwnBits = sizeof(void*) * 8;

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The bitness a view stands for, when it is not this program's own.
std::string OtherView(REGSAM view) {
    if ((view & KEY_WOW64_32KEY) && kOwnBits == 64) return "32-bit";
    if ((view & KEY_WOW64_64KEY) && kOwnBits == 32) return "64-bit";
    return "";
}

}  // namespace

std::vector<CheckLine> CheckPort(const std::string& device, REGSAM view, bool openFailed) {
    DeviceConfig config;
    std::string path;
    {
        CRegUty key;
        if (key.OpenKey(HKEY_LOCAL_MACHINE, DeviceKeyPath(device).c_str(), KEY_READ | view) == 0) {
            config = ReadDeviceConfig(key);
        }
        CRegUty maker;
        if (maker.OpenKey(HKEY_LOCAL_MACHINE, kMakerKey, KEY_READ | view) == 0) {
            path = maker.GetStringOr("Path", "");
        }
    }
    PortFacts f;
    f.deviceName = device;
    f.openFailed = openFailed;
    f.path = path;
    f.dll = config.portDll;
    f.port = config.port;
    f.settings = config.portInitializeString;
    f.library = path + config.portDll;
    f.bits = kOwnBits;
    f.tooLong = f.library.size() >= MAX_PATH;
    if (path.empty()) {
        char found[MAX_PATH];
        f.located =
            SearchPathA(nullptr, config.portDll.c_str(), nullptr, MAX_PATH, found, nullptr) != 0;
    } else {
        f.located = FileExists(f.library);
        const char last = path.back();
        if (!f.located && last != '\\' && last != '/' && FileExists(path + "\\" + config.portDll)) {
            f.separated = path + "\\" + config.portDll;
        }
    }
    f.otherView = OtherView(view);
    if (f.tooLong || !f.located || !f.otherView.empty()) return DescribePortCheck(f);

    // The open request as the service sends it, without the service's events: the library then
    // starts no status polling.
    LONG detail = 0;
    const std::string description =
        device + OperationTextFor(kOpCashDrawer, LanguageForCodePage(GetACP()));
    PortOpenSources sources;
    sources.config = &config;
    sources.path = &path;
    sources.deviceName = &device;
    sources.deviceDescription = &description;
    sources.detail = &detail;
    PortOpenParams params;
    FillPortOpenParams(sources, &params);
    params.eventLogMode = 0;  // a check writes no event-log record
    CPortLibrary library;
    f.tried = true;
    f.result = library.Load(params, path.c_str(), config.portDll.c_str());
    f.detail = detail;
    library.Unload();
    const int32_t step = ports::OpenFailureStep(detail);
    const DWORD error = ports::OpenStepOperation(step, 1) != nullptr
                            ? static_cast<DWORD>(ports::OpenFailureError(detail))
                            : static_cast<DWORD>(f.result);
    if (f.result != 0) f.errorText = SystemText(error, f.library);
    return DescribePortCheck(f);
}

}  // namespace cdctl
