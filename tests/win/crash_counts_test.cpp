// Counts survive applications that are killed: the statistics (registry "Stat" key) and the
// drawer-open reliability counter (counter file, Statistics = File) hold every counted opening
// whichever processes die, the user count of the shared blocks follows the processes still
// running, and every letter case of a device name reaches the same counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "ras/ras_data.h"
#include "ras/ras_rules.h"
#include "ras/vm_ras.h"
#include "stats/dev_stat.h"
#include "tools/client/drawer_client.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace {

constexpr char kDevice[] = "BramwickCrash";
constexpr wchar_t kDeviceW[] = L"BramwickCrash";

// Users recorded at the start of a named block, or -1 when nobody has it open.
int32_t UsersOf(const std::string& mappingName) {
    fw::UniqueKernel mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, mappingName.c_str()));
    if (!mapping) return -1;
    fw::UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    return view ? *static_cast<const int32_t*>(view.get()) : -1;
}

class CrashCounts : public ::testing::Test {
protected:
    void SetUp() override {
        m_device.SetText("Trace_Enable", "False");
        m_device.SetNumber("DetectDelay_Time", 20);
        m_device.SetText("Statistics", "File");
        m_device.SetText("StatFileName", m_file.c_str());
        DeleteFileA(m_file.c_str());
        m_session = std::make_unique<client::DrawerClient>();
        ASSERT_HR(S_OK, m_session->Create());
    }
    void TearDown() override {
        m_session->Close();
        m_session.reset();
        DeleteFileA(m_file.c_str());
    }

    // DrawerGoodOpenCount as the registry holds it.
    std::string Saved() const {
        return testutil::ReadRegValue(HKEY_LOCAL_MACHINE, m_device.KeyPath() + "\\Stat",
                                      "DrawerGoodOpenCount")
            .text;
    }
    // The counter in the counter file, or -1 without a file.
    long long InFile() const {
        const std::string text = testutil::ReadWholeFile(m_file);
        return text.size() == kRasCounterLineLength
                   ? atoll(text.substr(kRasCounterNameLength).c_str())
                   : -1;
    }
    // DrawerGoodOpenCount as a session sees it in the shared block.
    static long long InMemory(client::DrawerClient& session) {
        std::map<std::string, long long> counters;
        return session.Counters(&counters) == OPOS_SUCCESS ? counters["DrawerGoodOpenCount"] : -1;
    }
    // Whether both stores hold n within about a second.
    bool SavedBecomes(long long n) {
        return PumpUntil([&] { return Saved() == std::to_string(n) && InFile() == n; }, 1000);
    }

    testutil::ComApartment m_com;
    ScratchDevice m_device{kDevice};
    const std::string m_file = testproc::ExeDir() + "BramwickCrash.log";
    std::unique_ptr<client::DrawerClient> m_session;
};

// The peer counts an opening and is killed before it closes; this application, open all the
// while, is the last user left.
TEST_F(CrashCounts, AnOpeningCountedByAKilledApplicationIsSaved) {
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    testproc::Process peer = testproc::Peer(kDevice, "open enable opendrawer crash");
    ASSERT_EQ(9u, peer.Wait());
    EXPECT_EQ(1, InMemory(*m_session));
    EXPECT_EQ(1, m_session->DrawerOpenCount());
    EXPECT_TRUE(SavedBecomes(1)) << "registry " << Saved() << ", file " << InFile();

    ASSERT_OPOS(OPOS_SUCCESS, m_session->Close());
    EXPECT_EQ("1", Saved());
    EXPECT_EQ(1, InFile());
}

// Every application is killed, one after the other; the next one starts from what the
// registry and the file hold.
TEST_F(CrashCounts, NothingIsLostWhenEveryApplicationIsKilled) {
    testproc::Process first = testproc::Peer(kDevice, "open enable opendrawer crash");
    ASSERT_EQ(9u, first.Wait());
    EXPECT_TRUE(SavedBecomes(1)) << "registry " << Saved() << ", file " << InFile();
    testproc::Process second = testproc::Peer(kDevice, "open enable opendrawer opendrawer crash");
    ASSERT_EQ(9u, second.Wait());
    EXPECT_TRUE(SavedBecomes(3)) << "registry " << Saved() << ", file " << InFile();

    ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    EXPECT_EQ(3, InMemory(*m_session));
    EXPECT_EQ(3, m_session->DrawerOpenCount());
}

// Two users, one killed: the survivor's close is the last one, and the values it saves are
// the ones in memory.
TEST_F(CrashCounts, AKilledApplicationNoLongerCountsAsAUser) {
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    m_session->Set(PIDX_DeviceEnabled, 1);
    testproc::Process peer = testproc::Peer(kDevice, "open crash");
    ASSERT_EQ(9u, peer.Wait());

    DrawerClient another;
    ASSERT_HR(S_OK, another.Create());
    ASSERT_OPOS(OPOS_SUCCESS, another.Open(kDeviceW));
    EXPECT_EQ(2, UsersOf(StatMappingName("CashDrawer", kDevice))) << "statistics block";
    EXPECT_EQ(2, UsersOf(RasMappingName("CashDrawer", kDevice))) << "reliability block";
    ASSERT_OPOS(OPOS_SUCCESS, another.Close());

    ASSERT_OPOS(OPOS_SUCCESS, m_session->OpenDrawer());
    ASSERT_OPOS(OPOS_SUCCESS, m_session->OpenDrawer());
    const long long counted = InMemory(*m_session);
    EXPECT_EQ(2, counted);
    EXPECT_EQ(2, m_session->DrawerOpenCount());
    // Edited meanwhile: the last close writes the values of the block over it.
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, m_device.KeyPath() + "\\Stat",
                                       "DrawerGoodOpenCount", "0"));
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Close());
    EXPECT_EQ(std::to_string(counted), Saved());
    EXPECT_EQ(2, InFile());
}

// An application killed while it held the lock of the statistics or of the reliability block
// leaves it abandoned; the next open and the next opening go on as if it had been released.
TEST_F(CrashCounts, ALockLeftByAKilledApplicationLosesNoOpenAndNoCount) {
    // A thread that ends while it owns a mutex abandons it, as a killed process does.
    auto abandonLocks = [] {
        std::thread holder([] {
            for (const std::string& name :
                 {StatMutexName("CashDrawer", kDevice), RasMutexName("CashDrawer", kDevice)}) {
                HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
                ASSERT_NE(nullptr, mutex) << name;
                ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 1000)) << name;
                CloseHandle(mutex);
            }
        });
        holder.join();
    };
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    abandonLocks();
    DrawerClient another;
    ASSERT_HR(S_OK, another.Create());
    ASSERT_OPOS(OPOS_SUCCESS, another.Open(kDeviceW));
    ASSERT_OPOS(OPOS_SUCCESS, another.Close());

    m_session->Set(PIDX_DeviceEnabled, 1);
    abandonLocks();
    ASSERT_OPOS(OPOS_SUCCESS, m_session->OpenDrawer());
    EXPECT_EQ(1, InMemory(*m_session));
    EXPECT_EQ(1, m_session->DrawerOpenCount());
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Close());
    EXPECT_EQ("1", Saved());
    EXPECT_EQ(1, InFile());
}

// Applications that name the device in other letter cases share its counts.
TEST_F(CrashCounts, EveryLetterCaseOfTheDeviceNameCountsTogether) {
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    testproc::Process peer = testproc::Peer("BRAMWICKCRASH", "open enable opendrawer close");
    ASSERT_EQ(0u, peer.Wait());
    DrawerClient lower;
    ASSERT_HR(S_OK, lower.Create());
    ASSERT_OPOS(OPOS_SUCCESS, lower.Open(L"bramwickcrash"));
    lower.Set(PIDX_DeviceEnabled, 1);
    ASSERT_OPOS(OPOS_SUCCESS, lower.OpenDrawer());

    EXPECT_EQ(2, InMemory(*m_session));
    EXPECT_EQ(2, m_session->DrawerOpenCount());
    ASSERT_OPOS(OPOS_SUCCESS, lower.Close());
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Close());
    EXPECT_EQ("2", Saved());
    EXPECT_EQ(2, InFile());
}

}  // namespace
