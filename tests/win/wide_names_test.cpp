// A device named in characters no ANSI code page holds, opened as an application opens it (a
// BSTR through IDispatch): its key, shared blocks, trace file and counter file go by that name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "framework/wide_text.h"
#include "tools/client/drawer_client.h"
#include "tests/win/scratch_device.h"
#include "tests/win/test_util.h"

namespace {

namespace fs = std::filesystem;

TEST(WideNames, ADeviceNamedInAnyScriptWorksUnderItsName) {
    const std::wstring name = L"\u30c9\u30ed\u30ef\u00e4", capitals = L"\u30c9\u30ed\u30ef\u00c4";
    testutil::ComApartment com;
    ScratchDevice device(fw::WideToUtf8(name));
    device.SetText("Statistics", "File");
    const fs::path traces = fs::temp_directory_path() / L"bw_\u30c8\u30ec\u30fc\u30b9";
    const fs::path counters =
        fs::path(_wgetenv(L"ProgramData")) / L"Bramwick" / (L"RAS" + name + L".LOG");
    std::error_code ignored;
    fs::remove_all(traces, ignored);
    fs::remove(counters, ignored);
    ASSERT_TRUE(SetEnvironmentVariableW(L"BRAMWICK_TRACE_DIR", traces.c_str()));
    {
        DrawerClient first, second;
        ASSERT_HR(S_OK, first.Create());
        ASSERT_HR(S_OK, second.Create());
        ASSERT_OPOS(OPOS_SUCCESS, first.Open(name));
        first.Set(PIDX_DeviceEnabled, 1);
        ASSERT_OPOS(OPOS_SUCCESS, first.OpenDrawer());
        EXPECT_TRUE(fs::exists(traces / (name + L"0M.trc")));
        EXPECT_TRUE(fs::exists(counters));
        // The registry finds the key in any letter case; the blocks follow it, under names any
        // other program (or build) forms the same way.
        fw::UniqueKernel mapping(OpenFileMappingW(
            FILE_MAP_READ, FALSE, (L"RiVORI_STATUser_CASHDRAWER_" + capitals).c_str()));
        EXPECT_TRUE(mapping);
        ASSERT_OPOS(OPOS_SUCCESS, second.Open(capitals));
        EXPECT_EQ(1, second.Counter("DrawerGoodOpenCount"));
        EXPECT_EQ(1, second.DrawerOpenCount());
        EXPECT_OPOS(OPOS_SUCCESS, second.Close());
        EXPECT_OPOS(OPOS_SUCCESS, first.Close());  // the last close saves to the device's key
    }
    wchar_t saved[16] = {};
    DWORD size = sizeof(saved);
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(device.KeyPath() + "\\Stat").c_str(),
                           L"DrawerGoodOpenCount", RRF_RT_REG_SZ, nullptr, saved, &size));
    EXPECT_STREQ(L"1", saved);
    SetEnvironmentVariableW(L"BRAMWICK_TRACE_DIR", nullptr);
    fs::remove_all(traces, ignored);
    fs::remove(counters, ignored);
}

}  // namespace
