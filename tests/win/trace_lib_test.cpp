// XTRLOG32.DLL (loaded from the test's own folder) and CVmTrace on top of it: channel refusal,
// whole records from concurrent writers, saving, name selection.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "framework/module.h"
#include "tests/win/sim_control.h"
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

void WriteRaw(const std::string& path, const std::string& data, std::ios::openmode mode) {
    std::ofstream(path, std::ios::binary | mode) << data;
}

TraceRecord Values(const char* tag, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
    const int32_t values[5] = {a, b, c, d, e};
    return MakeValuesRecord(TraceTime{12, 0, 0, 0}, tag, values);
}

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

    // Unloading the library closes whatever channels a test left open, so the folder must then
    // come away completely.
    void TearDown() override {
        SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", nullptr);
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

    HMODULE module_ = nullptr;
    OpenFn open_ = nullptr;
    WriteFn write_ = nullptr;
    CloseFn close_ = nullptr;
    SaveFn save_ = nullptr;
    SaveFn save2_ = nullptr;
    std::string folder_;
};

TEST_F(TraceLibTest, RefusesChannelOpenElsewhereUntilClosed) {
    const LONG first = open_("dupM");
    ASSERT_GE(first, 0);
    EXPECT_LT(open_("dupM"), 0);
    const LONG other = open_("dupN");  // other names are unaffected
    EXPECT_GE(other, 0);
    EXPECT_EQ(0, close_(first));
    EXPECT_EQ(0, close_(other));
    const LONG again = open_("dupM");
    EXPECT_GE(again, 0);
    EXPECT_EQ(0, close_(again));

    const TraceFileContents fresh = Parse("dupM");
    EXPECT_TRUE(fresh.ok()) << fresh.error;
    EXPECT_TRUE(fresh.records.empty());

    // A file of that name that is not a trace file is left alone and the name refused.
    WriteRaw(PathOf("foreignM"), "hello, world, hello", std::ios::trunc);
    EXPECT_LT(open_("foreignM"), 0);
    EXPECT_EQ(19u, ReadAll(PathOf("foreignM")).size());

    EXPECT_LT(open_(""), 0);
    EXPECT_LT(open_(nullptr), 0);
}

TEST_F(TraceLibTest, CreatesMissingTraceFolders) {
    const std::string nested = folder_ + "\\env\\deeper";
    SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", (nested + "\\").c_str());
    const LONG h = open_("nestM");
    ASSERT_GE(h, 0);
    close_(h);
    EXPECT_TRUE(DeleteFileA((nested + "\\nestM.trc").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(nested.c_str()));
    EXPECT_TRUE(RemoveDirectoryA((folder_ + "\\env").c_str()));
}

TEST_F(TraceLibTest, RejectsWrongLengthAndStaleHandles) {
    const LONG h = open_("lenM");
    ASSERT_GE(h, 0);
    const TraceRecord rec = Values("MClm", 1, 2, 3, 4, 5);
    EXPECT_LT(write_(h, rec.data(), 28), 0);
    EXPECT_LT(write_(h, rec.data(), 30), 0);
    EXPECT_LT(write_(h, nullptr, 29), 0);
    EXPECT_EQ(0, write_(h, rec.data(), 29));
    EXPECT_EQ(0, close_(h));
    EXPECT_LT(close_(h), 0);

    // The freed slot is reused, but the old handle does not reach the new channel.
    const LONG next = open_("otherM");
    ASSERT_GE(next, 0);
    EXPECT_NE(h, next);
    EXPECT_LT(write_(h, rec.data(), 29), 0);
    EXPECT_EQ(0, close_(next));
    EXPECT_TRUE(Parse("otherM").records.empty());
}

TEST_F(TraceLibTest, ConcurrentWritersLandWholeRecords) {
    const LONG h = open_("busyM");
    ASSERT_GE(h, 0);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, h, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const TraceRecord rec = Values("50s1", t, i, ~t, ~i, t * 100000 + i);
                write_(h, rec.data(), static_cast<LONG>(rec.size()));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    // The library's own count of whole records decides how much a save copies; the copy's
    // name carries the date and time.
    ASSERT_EQ(0, save2_());
    const std::vector<std::string> copies = Files("busyM_");
    ASSERT_EQ(1u, copies.size());
    EXPECT_TRUE(std::regex_match(copies[0], std::regex("busyM_\\d{8}_\\d{6}\\.trc"))) << copies[0];
    const std::vector<uint8_t> bytes = ReadAll(PathOf("busyM"));
    EXPECT_EQ(kTraceFileHeaderSize + kThreads * kPerThread * kTraceRecordSize, bytes.size());
    EXPECT_EQ(bytes, ReadAll(folder_ + "\\" + copies[0]));
    // The channel keeps working after a save.
    const TraceRecord more = Values("mOpD", 0, 0, 0, 0, 0);
    EXPECT_EQ(0, write_(h, more.data(), 29));
    EXPECT_EQ(0, save_());
    ASSERT_EQ(0, close_(h));

    const TraceFileContents contents = ParseTraceFile(bytes);
    ASSERT_TRUE(contents.ok()) << contents.error;
    std::vector<int> nextSeq(kThreads, 0);
    for (const TraceRecord& rec : contents.records) {
        int32_t v[5];
        std::memcpy(v, rec.data() + kTracePayloadOffset, sizeof(v));  // x86: little-endian
        ASSERT_TRUE(v[0] >= 0 && v[0] < kThreads);
        ASSERT_EQ(~v[0], v[2]);
        ASSERT_EQ(~v[1], v[3]);
        ASSERT_EQ(v[0] * 100000 + v[1], v[4]);
        ASSERT_EQ(nextSeq[v[0]], v[1]) << "thread " << v[0] << " records out of order";
        ++nextSeq[v[0]];
    }
    EXPECT_EQ(std::vector<int>(kThreads, kPerThread), nextSeq);
}

TEST_F(TraceLibTest, ReopenAppendsAndDropsTornRecord) {
    const TraceRecord rec = Values("Tout", 9, 0, 0, 0, 0);
    LONG h = open_("againM");
    ASSERT_GE(h, 0);
    write_(h, rec.data(), 29);
    write_(h, rec.data(), 29);
    close_(h);

    // Leave a partial record behind, as a crash in the middle of a write would.
    WriteRaw(PathOf("againM"), "torn!", std::ios::app);

    h = open_("againM");
    ASSERT_GE(h, 0);
    write_(h, rec.data(), 29);
    close_(h);
    const TraceFileContents contents = Parse("againM");
    EXPECT_TRUE(contents.ok()) << contents.error;
    EXPECT_EQ(3u, contents.records.size());
}

TEST_F(TraceLibTest, UnloadClosesOpenChannels) {
    const LONG h = open_("leftM");
    ASSERT_GE(h, 0);
    const TraceRecord rec = Values("EEnd", 0, 0, 0, 0, 0);
    ASSERT_EQ(0, write_(h, rec.data(), 29));
    FreeLibrary(module_);
    module_ = nullptr;
    HANDLE exclusive = CreateFileA(PathOf("leftM").c_str(), GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive);
    CloseHandle(exclusive);
    EXPECT_EQ(1u, Parse("leftM").records.size());
}

// The digit advances only while the library refuses a name, up to '>' at most; the other letters
// share the digit that worked, and the base name keeps its last 14 characters.
TEST_F(TraceLibTest, OpenTracePicksChannelNamesTheLibraryAccepts) {
    const LONG taken = open_("Drawer0M");
    ASSERT_GE(taken, 0);
    CVmTrace trace;
    trace.m_bEnabled = TRUE;
    LONG handle = 5;
    LONG* one[] = {&handle};
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
    EXPECT_GE(m, 0);
    EXPECT_GE(p, 0);
    EXPECT_EQ(kTraceHandleClosed, extra);
    EXPECT_EQ((std::vector<std::string>{"ngDeviceName200M.trc", "ngDeviceName200P.trc"}),
              Files("ng"));
    trace.CloseTrace(3, three);
    EXPECT_EQ(kTraceHandleClosed, m);
    EXPECT_EQ(kTraceHandleClosed, p);

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

TEST_F(TraceLibTest, CVmTraceIsSilentUntilEnabled) {
    CVmTrace trace;
    ASSERT_TRUE(trace.IsLibraryLoaded());
    LONG handle = 3;
    LONG* handles[] = {&handle};
    trace.OpenTrace("quiet", 1, "M", handles);
    EXPECT_EQ(kTraceHandleClosed, handle);
    EXPECT_TRUE(Files().empty());

    const LONG h = open_("quietM");
    ASSERT_GE(h, 0);
    const uint8_t bytes[40] = {0x1B, 0x70};
    trace.Trace(h, "MChk", 1, 1, 0, 0, 0, 0);
    trace.TraceText(h, "MDio", "text", 0, 0, 0, 0, 0);
    trace.TraceBytes(h, "50v1", bytes, 40);
    EXPECT_TRUE(Parse("quietM").records.empty());
    EXPECT_EQ(0, trace.SaveTraceFile());  // saving does not depend on the switch

    trace.m_bEnabled = TRUE;
    trace.Trace(h, "MChk", 1, 1, 0, 0, 0, 0);
    trace.TraceBytes(h, "50v1", bytes, 40);
    const TraceFileContents contents = Parse("quietM");
    ASSERT_EQ(2u, contents.records.size());
    EXPECT_EQ(" MChk 1 0 0 0 0", FormatTraceRecord(contents.records[0].data()).substr(12));
    EXPECT_EQ(" 50v1 40 bytes: 1B 70 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ...",
              FormatTraceRecord(contents.records[1].data()).substr(12));

    // Closing is also tied to the switch: a disabled trace leaves the handle alone.
    trace.m_bEnabled = FALSE;
    LONG kept = h;
    LONG* keptHandles[] = {&kept};
    trace.CloseTrace(1, keptHandles);
    EXPECT_EQ(h, kept);
    EXPECT_EQ(0, close_(h));
}

}  // namespace
