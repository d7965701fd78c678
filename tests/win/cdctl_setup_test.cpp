// cdctl setup as a user runs it on a terminal with 32- and 64-bit applications: the registry
// view it writes, the port library's bitness, a device of another maker, a device that is
// open, and the product version every module carries.
#include <string>

#include "so/device_config.h"
#include "tests/win/scratch_device.h"
#include "tests/win/test_control_object.h"
#include "tests/win/test_util.h"

namespace {

const std::string kDevice = "CdctlSetupDevice";
constexpr bool k64 = sizeof(void*) == 8;
// The registry view of the other bitness, and cdctl's option that names it.
constexpr REGSAM kOtherView = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr const char* kOtherViewOption = k64 ? "--32" : "--64";

using testproc::Cdctl;
using testproc::Outcome;
using testproc::OutDir;

bool Contains(const Outcome& run, const std::string& text) {
    return run.output.find(text) != std::string::npos;
}

#define EXPECT_PRINTS(run, text) \
    EXPECT_TRUE(Contains(run, text)) << "missing: " << (text) << "\noutput:\n" << (run).output

bool KeyExists(REGSAM view, const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &handle) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    std::string data(GetFileVersionInfoSizeA(path.c_str(), &ignored), '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (data.empty() ||
        !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), &data[0]) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &size)) {
        return "(none)";
    }
    return std::to_string(HIWORD(info->dwProductVersionMS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionMS)) + "." +
           std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionLS));
}

// Each test starts without the device in either view; the maker's key, which every device
// shares, is put back in both views as it was.
class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        for (int v = 0; v < 2; ++v) {
            m_makerExisted[v] = KeyExists(kViews[v], kMakerKey);
            m_makerPath[v] = Read(kViews[v], kMakerKey, "Path");
        }
        RemoveDevice();
    }
    void TearDown() override {
        RemoveDevice();
        for (int v = 0; v < 2; ++v) {
            HKEY maker = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_ALL_ACCESS | kViews[v],
                              &maker) != ERROR_SUCCESS) {
                continue;
            }
            if (m_makerPath[v].present) {
                RegSetValueExA(maker, "Path", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(m_makerPath[v].text.c_str()),
                               static_cast<DWORD>(m_makerPath[v].text.size() + 1));
            } else {
                RegDeleteValueA(maker, "Path");
            }
            RegCloseKey(maker);
            if (!m_makerExisted[v]) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, kViews[v], 0);
        }
    }
    static testutil::RegValue Read(REGSAM view, const std::string& key, const char* name) {
        testutil::RegValue v;
        HKEY handle = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &handle) ==
            ERROR_SUCCESS) {
            v = testutil::ReadRegValue(handle, "", name);
            RegCloseKey(handle);
        }
        return v;
    }
    static void RemoveDevice() {
        for (REGSAM view : kViews) {
            HKEY root = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceKeyRoot, 0, KEY_ALL_ACCESS | view,
                              &root) == ERROR_SUCCESS) {
                RegDeleteTreeA(root, kDevice.c_str());
                RegDeleteKeyExA(root, kDevice.c_str(), view, 0);
                RegCloseKey(root);
            }
        }
    }

    static constexpr REGSAM kViews[2] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    bool m_makerExisted[2] = {};
    testutil::RegValue m_makerPath[2];
};

TEST_F(Setup, EveryModuleAndCdctlCarryTheOneProductVersion) {
    const std::string version = FileVersion(OutDir() + "\\Bramwick.dll");
    for (const char* module : {"XTRLOG32.DLL", "ZeZAZ.dll", "cdctl.exe"}) {
        EXPECT_EQ(version, FileVersion(OutDir() + "\\" + module)) << module;
    }
    Outcome run = Cdctl("--version");
    EXPECT_EQ(0u, run.code) << run.output;
    EXPECT_PRINTS(run, "Bramwick " + version + (k64 ? " (x64)" : " (x86)"));
}

// Without an option cdctl writes the view its own bitness reads; a Path whose port library is
// of the other bitness is refused for a view, as the service of that view could not load it.
TEST_F(Setup, WritesItsOwnViewAndRefusesAPortLibraryOfTheOtherBitness) {
    ASSERT_EQ(0u, Cdctl("setup add " + kDevice + " Port=COM3").code);
    EXPECT_TRUE(KeyExists(k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, DeviceKeyPath(kDevice)));
    EXPECT_FALSE(KeyExists(kOtherView, DeviceKeyPath(kDevice)));

    Outcome refused = Cdctl("setup " + std::string(kOtherViewOption) + " add " + kDevice +
                            " Port=COM3 \"Path=" + OutDir() + "\"");
    EXPECT_EQ(3u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, std::string("ZeZAZ.dll is a ") + (k64 ? "64" : "32") + "-bit DLL");
    EXPECT_FALSE(KeyExists(kOtherView, DeviceKeyPath(kDevice)));
}

TEST_F(Setup, ShowNamesTheRegsvr32OfTheView) {
    if (!k64) GTEST_SKIP() << "the tier registers the x86 and the x64 service: no view lacks it";
    ScratchDevice device(kDevice, true, {KEY_WOW64_32KEY});
    Outcome show = Cdctl("setup --32 show " + kDevice);
    EXPECT_EQ(0u, show.code) << show.output;
    char windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    const std::string regsvr32 = std::string(windows) + "\\syswow64\\regsvr32.exe";
    EXPECT_NE(std::string::npos, Lower(show.output).find(Lower(regsvr32))) << show.output;
}

TEST_F(Setup, AddRefusesADeviceOfAnotherMakerUnlessForced) {
    const std::string key = DeviceKeyPath(kDevice);
    ASSERT_TRUE(
        testutil::WriteRegText(HKEY_LOCAL_MACHINE, key, nullptr, "OPOS.CashDrawer.Other.1"));
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, key, "Port", "COM9"));
    Outcome refused = Cdctl("setup add " + kDevice + " Port=COM3");
    EXPECT_EQ(3u, refused.code) << refused.output;
    EXPECT_PRINTS(refused, "OPOS.CashDrawer.Other.1");
    EXPECT_PRINTS(refused, "--force");
    EXPECT_EQ("COM9", testutil::ReadRegValue(HKEY_LOCAL_MACHINE, key, "Port").text);

    Outcome forced = Cdctl("setup add --force " + kDevice + " Port=COM3");
    EXPECT_EQ(0u, forced.code) << forced.output;
    EXPECT_EQ("OPOS.CashDrawer.Bramwick.1",
              testutil::ReadRegValue(HKEY_LOCAL_MACHINE, key, nullptr).text);
    EXPECT_EQ("COM3", testutil::ReadRegValue(HKEY_LOCAL_MACHINE, key, "Port").text);
}

TEST_F(Setup, RemoveWarnsWhileAnApplicationHasTheDeviceOpen) {
    testutil::ComApartment com;
    ScratchDevice device(kDevice);
    device.SetMakerPath(0, OutDir());
    DrawerClient drawer;
    ASSERT_TRUE(drawer.AttachRegistered());
    ASSERT_EQ(OPOS_SUCCESS, drawer.Open(kDevice));
    Outcome open = Cdctl("setup remove " + kDevice);
    EXPECT_EQ(0u, open.code) << open.output;
    EXPECT_PRINTS(open, "warning: " + kDevice + " is open");
    drawer.Long(L"Close");

    ScratchDevice closed(kDevice);
    Outcome quiet = Cdctl("setup remove " + kDevice);
    EXPECT_EQ(0u, quiet.code) << quiet.output;
    EXPECT_FALSE(Contains(quiet, "warning"));
}

}  // namespace
