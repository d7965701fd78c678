// XTRLOG32.DLL (loaded from the test's own folder) and CVmTrace on top of it: channel refusal,
// whole records from concurrent writers, saving, name selection.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "framework/module.h"
#include "tests/win/sim_control.h"
#include "framework/handles.h"
#include "util/trace_file.h"
#include "util/trace_record.h"
#include "util/vmtrace.h"

namespace {

typedef LONG(__cdecl* OpenFn)(const char*);
typedef LONG(__cdecl* WriteFn)(LONG, const void*, LONG);
typedef LONG(__cdecl* CloseFn)(LONG);
typedef LONG(__cdecl* SaveFn)();

// Read while the library may still have the file open for writing.
std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

TraceRecord Values(const char* tag, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
    const int32_t values[5] = {a, b, c, d, e};
    return MakeValuesRecord(TraceTime{12, 0, 0, 0}, tag, values);
}

// A record of writer `w`'s `i`th write: its values check each other, so a record made of two
// writes cannot pass for a whole one.
TraceRecord Numbered(int32_t w, int32_t i) {
    return Values("50s1", w, i, ~w, ~i, w * 100000 + i);
}

// The writer and number of a record made by Numbered; false for anything else.
bool ReadNumbered(const TraceRecord& rec, int32_t* w, int32_t* i) {
    int32_t v[5];
    std::memcpy(v, rec.data() + kTracePayloadOffset, sizeof(v));  // x86: little-endian
    *w = v[0];
    *i = v[1];
    return v[2] == ~v[0] && v[3] == ~v[1] && v[4] == v[0] * 100000 + v[1];
}

// The size limit and backup count of the channel files, beside the trace folder setting.
constexpr char kTraceKey[] = "Software\\Bramwick\\Trace";

void SetTraceLimits(DWORD maxKB, DWORD backups) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kTraceKey, "MaxFileKB", REG_DWORD, &maxKB, sizeof(maxKB));
    RegSetKeyValueA(HKEY_CURRENT_USER, kTraceKey, "Backups", REG_DWORD, &backups, sizeof(backups));
}

// With BRAMWICK_TRACE_WRITER=N this program is writer N of the several-processes test.
constexpr int kWriterBatches = 50;
constexpr int kWriterBatchRecords = 200;

constexpr char kWritersGo[] = "Bramwick trace test writers go";

int RunAsWriter(int writer) {
    // All writers start together, so that their opens and rotations overlap.
    fw::UniqueKernel go(OpenEventA(SYNCHRONIZE, FALSE, kWritersGo));
    if (!go || WaitForSingleObject(go.get(), 30000) != WAIT_OBJECT_0) return 2;
    CVmTrace trace;
    trace.m_bEnabled = TRUE;
    int next = 0;
    for (int batch = 0; batch < kWriterBatches; ++batch) {
        LONG handle = kTraceHandleClosed;
        LONG* handles[] = {&handle};
        trace.OpenTrace("shared", 1, "M", handles);
        if (handle < 0) return 1;
        for (int i = 0; i < kWriterBatchRecords; ++i, ++next) {  // as Numbered(writer, next)
            trace.Trace(handle, "50s1", 5, writer, next, ~writer, ~next, writer * 100000 + next);
        }
        trace.CloseTrace(1, handles);
    }
    return 0;
}

const bool g_startedAsWriter = [] {
    const std::string writer = testproc::Environment("BRAMWICK_TRACE_WRITER");
    if (writer.empty()) return false;
    ExitProcess(static_cast<UINT>(RunAsWriter(std::atoi(writer.c_str()))));
}();

class TraceLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Beside the test first; otherwise wherever the normal search finds it, as CVmTrace does.
        module_ = LoadLibraryA((testproc::ExeDir() + "XTRLOG32.DLL").c_str());
        if (module_ == nullptr) module_ = LoadLibraryA("XTRLOG32.DLL");
        ASSERT_NE(nullptr, module_) << "XTRLOG32.DLL not found beside the test or on the path";
        open_ = fw::GetProc<OpenFn>(module_, "OPOSTraceOpenEx");
        write_ = fw::GetProc<WriteFn>(module_, "OPOSTraceEx");
        close_ = fw::GetProc<CloseFn>(module_, "OPOSTraceCloseEx");
        save_ = fw::GetProc<SaveFn>(module_, "OPOSTraceFileSaveEx");
        save2_ = fw::GetProc<SaveFn>(module_, "OPOSTraceFileSaveEx2");
        ASSERT_TRUE(open_ && write_ && close_ && save_ && save2_);
        folder_ = testproc::NewTempFolder(
            std::string("bwtrace_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_FALSE(folder_.empty());
        ASSERT_TRUE(SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", folder_.c_str()));
    }

    // Unloading the library closes the channels a test left open: the folder comes away whole.
    void TearDown() override {
        SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", nullptr);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kTraceKey, "MaxFileKB");
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kTraceKey, "Backups");
        if (module_ != nullptr) FreeLibrary(module_);
        if (folder_.empty()) return;
        for (const std::string& name : Files()) {
            EXPECT_TRUE(DeleteFileA((folder_ + "\\" + name).c_str())) << name;
        }
        EXPECT_TRUE(RemoveDirectoryA(folder_.c_str())) << folder_;
    }

    // The files in the folder whose names start with `prefix`, sorted.
    std::vector<std::string> Files(const std::string& prefix = "") const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && name.rfind(prefix, 0) == 0) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string PathOf(const std::string& channel) const {
        return folder_ + "\\" + channel + ".trc";
    }
    TraceFileContents Parse(const std::string& channel) const {
        return ParseTraceFile(ReadAll(PathOf(channel)));
    }
    // A channel's records, oldest backup first; each file whole and within `limit` bytes.
    std::vector<TraceRecord> Kept(const std::string& channel, int backups, size_t limit) const {
        std::vector<TraceRecord> records;
        for (int n = backups; n >= 0; --n) {
            const std::string path =
                n > 0 ? folder_ + "\\" + channel + "." + std::to_string(n) + ".trc"
                      : PathOf(channel);
            if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
            const std::vector<uint8_t> bytes = ReadAll(path);
            EXPECT_LE(bytes.size(), limit) << path;
            const TraceFileContents contents = ParseTraceFile(bytes);
            EXPECT_TRUE(contents.ok()) << path << ": " << contents.error;
            records.insert(records.end(), contents.records.begin(), contents.records.end());
        }
        return records;
    }

    HMODULE module_ = nullptr;
    OpenFn open_ = nullptr;
    WriteFn write_ = nullptr;
    CloseFn close_ = nullptr;
    SaveFn save_ = nullptr;
    SaveFn save2_ = nullptr;
    std::string folder_;
};

TEST_F(TraceLibTest, ChannelsAreRefusedWhileOpenOrGivenBadInput) {
    const LONG first = open_("dupM");
    ASSERT_GE(first, 0);
    EXPECT_LT(open_("dupM"), 0);
    const LONG other = open_("dupN");  // other names are unaffected
    EXPECT_GE(other, 0);
    EXPECT_LT(open_(""), 0);
    EXPECT_LT(open_(nullptr), 0);

    const TraceRecord rec = Values("MClm", 1, 2, 3, 4, 5);
    for (LONG size : {28, 30}) EXPECT_LT(write_(first, rec.data(), size), 0) << size;
    EXPECT_LT(write_(first, nullptr, 29), 0);
    EXPECT_EQ(0, close_(first));
    EXPECT_LT(close_(first), 0);
    // The freed slot is reused, but the old handle does not reach the new channel.
    const LONG again = open_("dupM");
    ASSERT_GE(again, 0);
    EXPECT_LT(write_(first, rec.data(), 29), 0);
    EXPECT_EQ(0, close_(again));
    EXPECT_EQ(0, close_(other));
    const TraceFileContents fresh = Parse("dupM");
    EXPECT_TRUE(fresh.ok()) << fresh.error;
    EXPECT_TRUE(fresh.records.empty());

    // A file of that name that is not a trace file is left alone and the name refused.
    std::ofstream(PathOf("foreignM"), std::ios::binary) << "hello, world, hello";
    EXPECT_LT(open_("foreignM"), 0);
    EXPECT_EQ(19u, ReadAll(PathOf("foreignM")).size());

    // Missing folders on the way to the trace folder are made.
    const std::string nested = folder_ + "\\env\\deeper";
    SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", (nested + "\\").c_str());
    const LONG h = open_("nestM");
    ASSERT_GE(h, 0);
    close_(h);
    EXPECT_TRUE(DeleteFileA((nested + "\\nestM.trc").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(nested.c_str()));
    EXPECT_TRUE(RemoveDirectoryA((folder_ + "\\env").c_str()));
}

// A torn record left by a crash is dropped at the next open; unloading closes open channels.
TEST_F(TraceLibTest, ReopenDropsTornRecordAndUnloadCloses) {
    const TraceRecord rec = Values("Tout", 9, 0, 0, 0, 0);
    LONG h = open_("againM");
    ASSERT_GE(h, 0);
    write_(h, rec.data(), 29);
    close_(h);
    std::ofstream(PathOf("againM"), std::ios::binary | std::ios::app) << "torn!";
    h = open_("againM");
    ASSERT_GE(h, 0);
    ASSERT_EQ(0, write_(h, rec.data(), 29));
    FreeLibrary(module_);
    module_ = nullptr;
    fw::UniqueFile exclusive(CreateFileA(PathOf("againM").c_str(), GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(exclusive);
    exclusive.reset();
    const TraceFileContents contents = Parse("againM");
    EXPECT_TRUE(contents.ok()) << contents.error;
    EXPECT_EQ(2u, contents.records.size());
}

// Threads writing one handle while it rotates and saves copy it: whole records, in order.
TEST_F(TraceLibTest, ConcurrentWritersLandWholeRecords) {
    constexpr DWORD kLimitKB = 16;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1000;  // 116 000 bytes: seven full files and the live one
    constexpr int kBackups = 8;
    SetTraceLimits(kLimitKB, kBackups);
    const LONG h = open_("busyM");
    ASSERT_GE(h, 0);
    std::atomic<int> running{kThreads};
    std::atomic<int> failedSaves{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, h, t, &running] {
            for (int i = 0; i < kPerThread; ++i) {
                const TraceRecord rec = Numbered(t, i);
                write_(h, rec.data(), static_cast<LONG>(rec.size()));
            }
            --running;
        });
    }
    threads.emplace_back([this, &running, &failedSaves] {
        while (running > 0) failedSaves += save2_() != 0;
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, failedSaves.load());

    // The library's own count of whole records decides how much a save copies.
    for (const std::string& copy : Files("busyM_")) DeleteFileA((folder_ + "\\" + copy).c_str());
    ASSERT_EQ(0, save2_());
    const std::vector<std::string> copies = Files("busyM_");
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(ReadAll(PathOf("busyM")), ReadAll(folder_ + "\\" + copies[0]));
    // The channel keeps working after a save.
    const TraceRecord more = Values("mOpD", 0, 0, 0, 0, 0);
    EXPECT_EQ(0, write_(h, more.data(), 29));
    EXPECT_EQ(0, save_());
    ASSERT_EQ(0, close_(h));

    const std::vector<TraceRecord> kept = Kept("busyM", kBackups, kLimitKB * 1024);
    ASSERT_EQ(kThreads * kPerThread + 1u, kept.size());
    std::vector<int> nextSeq(kThreads, 0);
    for (size_t r = 0; r + 1 < kept.size(); ++r) {
        int32_t t = 0, i = 0;
        ASSERT_TRUE(ReadNumbered(kept[r], &t, &i)) << "record " << r << " is not whole";
        ASSERT_TRUE(t >= 0 && t < kThreads);
        ASSERT_EQ(nextSeq[t], i) << "thread " << t << " records out of order";
        ++nextSeq[t];
    }
}

// Processes opening one device's channel in turn: taken names are skipped, files stay whole.
TEST_F(TraceLibTest, SeveralProcessesShareTheChannelNames) {
    constexpr DWORD kLimitKB = 2;
    constexpr int kWriters = 3;
    constexpr int kBackups = 2;
    SetTraceLimits(kLimitKB, kBackups);
    fw::UniqueKernel go(CreateEventA(nullptr, TRUE, FALSE, kWritersGo));
    ASSERT_TRUE(go);
    std::vector<testproc::Process> writers;
    for (int w = 0; w < kWriters; ++w) {
        SetEnvironmentVariableA("BRAMWICK_TRACE_WRITER", std::to_string(w).c_str());
        writers.emplace_back("\"" + testproc::ExeDir() + "trace_lib_tests.exe\"");
    }
    SetEnvironmentVariableA("BRAMWICK_TRACE_WRITER", nullptr);
    SetEvent(go.get());
    for (testproc::Process& writer : writers) EXPECT_EQ(0u, writer.Wait(120000));

    // Within one name, each writer's records follow each other in the order written.
    size_t records = 0;
    for (char digit = '0'; digit < '0' + kWriters; ++digit) {
        const std::string channel = MakeChannelName("shared", digit, 'M');
        std::vector<int32_t> last(kWriters, -1);
        for (const TraceRecord& rec : Kept(channel, kBackups, kLimitKB * 1024)) {
            int32_t w = 0, i = 0;
            ASSERT_TRUE(ReadNumbered(rec, &w, &i)) << channel;
            ASSERT_TRUE(w >= 0 && w < kWriters) << channel;
            ASSERT_GT(i, last[w]) << channel << " writer " << w;
            last[w] = i;
            ++records;
        }
    }
    EXPECT_EQ(kBackups + 1u, Files("shared0M").size());
    EXPECT_GT(records, 0u);
}

// CVmTrace is silent until enabled; then a name's digit advances while the library refuses
// it, up to '>', shared by the other letters, after the base name's last 14 characters.
TEST_F(TraceLibTest, CVmTraceIsSilentUntilEnabledAndPicksNamesTheLibraryAccepts) {
    CVmTrace trace;
    ASSERT_TRUE(trace.IsLibraryLoaded());
    LONG handle = 3;
    LONG* one[] = {&handle};
    trace.OpenTrace("quiet", 1, "M", one);
    EXPECT_EQ(kTraceHandleClosed, handle);
    EXPECT_TRUE(Files().empty());
    const LONG taken = open_("Drawer0M");
    ASSERT_GE(taken, 0);
    const uint8_t bytes[40] = {0x1B, 0x70};
    trace.Trace(taken, "MChk", 1, 1, 0, 0, 0, 0);
    trace.TraceText(taken, "MDio", "text", 0, 0, 0, 0, 0);
    trace.TraceBytes(taken, "50v1", bytes, 40);
    EXPECT_EQ(0, trace.SaveTraceFile());
    handle = taken;
    trace.CloseTrace(1, one);
    EXPECT_EQ(taken, handle);
    EXPECT_TRUE(Parse("Drawer0M").records.empty());

    trace.m_bEnabled = TRUE;
    trace.TraceBytes(taken, "50v1", bytes, 40);
    EXPECT_EQ(1u, Parse("Drawer0M").records.size());
    trace.OpenTrace("Drawer", 1, "M", one);
    ASSERT_GE(handle, 0);
    trace.TraceText(handle, "MOpn", "Drawer", 1, 77, 0, 0, 0);
    trace.CloseTrace(1, one);
    EXPECT_EQ(kTraceHandleClosed, handle);
    close_(taken);
    const TraceFileContents contents = Parse("Drawer1M");
    ASSERT_EQ(1u, contents.records.size());
    const std::string line = FormatTraceRecord(contents.records[0].data());
    EXPECT_EQ(" MOpn 77 \"Drawer\"", line.substr(12)) << line;

    LONG m = 0, p = 0, extra = 0;
    LONG* three[] = {&m, &p, &extra};
    trace.OpenTrace("VeryLongDeviceName20", 3, "MP", three);  // third handle has no letter
    EXPECT_TRUE(m >= 0 && p >= 0);
    EXPECT_EQ(kTraceHandleClosed, extra);
    EXPECT_EQ((std::vector<std::string>{"ngDeviceName200M.trc", "ngDeviceName200P.trc"}),
              Files("ng"));
    trace.CloseTrace(3, three);
    EXPECT_TRUE(m == kTraceHandleClosed && p == kTraceHandleClosed);

    std::vector<LONG> held;
    for (char digit = '0'; digit <= '>'; ++digit) {
        held.push_back(open_(MakeChannelName("full", digit, 'M').c_str()));
        ASSERT_GE(held.back(), 0) << digit;
    }
    handle = 0;
    trace.OpenTrace("full", 1, "M", one);
    EXPECT_LT(handle, 0);  // a sixteenth try with '?' would have succeeded
    for (LONG h : held) close_(h);
}

}  // namespace
