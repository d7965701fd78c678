// XTRLOG32.DLL: appends each trace channel's 29-byte records to its own file in the trace folder,
// and keeps each file within a size limit by rotating it into numbered backups.
// Called from any thread of any process that loads it: an SRW lock guards the channel table and
// each channel has its own lock, so concurrent writes to one handle land as whole records.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/wide_text.h"
#include "util/trace_file.h"

// A channel is the file "<folder>\<channel name>.trc" (layout in util/trace_file.h), held open
// with read sharing only; a second opener in any process gets a sharing violation and a
// negative handle, which makes the service try the next channel name.
//
// Rotation: a record that would take the file past its limit first moves the file's records to
// "<channel name>.1.trc" (the older backups move up one number, the last one is dropped) and
// empties the file down to its header. The file is copied and cut, never renamed, so the
// channel keeps its name, its handle and its exclusive hold throughout: no other opener, in
// this process or another, can take the name in the middle of a rotation, and only the holder
// ever touches the backups of a name.
namespace {

// Negative results of the exports. -2 is skipped: callers use it for "no channel".
constexpr LONG kErrArgument = -1;   // null or unusable name, unknown handle, null record
constexpr LONG kErrTableFull = -3;  // kMaxChannels channels already open in this process
constexpr LONG kErrInUse = -4;      // the channel's file is open elsewhere
constexpr LONG kErrIo = -5;         // folder or file could not be created or written
constexpr LONG kErrForeign = -6;    // an existing file with that name is not a trace file
constexpr LONG kErrLength = -7;     // record length other than 29
constexpr LONG kSaveFailed = 111;   // same value as OPOS_E_FAILURE: the caller passes it on

// A handle is the table index in the low 8 bits and the slot's generation above them, so a
// handle kept after its channel closed never reaches a later channel in the same slot.
constexpr int kMaxChannels = 64;
constexpr int kIndexBits = 8;
constexpr LONG kGenerationMask = 0x7FFFFF;
constexpr size_t kMaxNameLength = 100;

// Size limit of a channel file and the number of backups, from HKCU\Software\Bramwick\Trace.
constexpr char kSettingsKey[] = "Software\\Bramwick\\Trace";
constexpr DWORD kDefaultMaxFileKB = 16 * 1024;
constexpr DWORD kMinMaxFileKB = 1;
constexpr DWORD kMaxMaxFileKB = 4 * 1024 * 1024;  // 4 GB
constexpr DWORD kDefaultBackups = 4;
constexpr DWORD kMaxBackups = 99;
// Copies a save makes of a channel; the last one holds the channel's lock, so that no rotation
// can meet it.
constexpr int kSaveAttempts = 3;

struct Channel {
    SRWLOCK lock = SRWLOCK_INIT;  // held exclusively around each write
    bool open = false;            // the fields below are valid (changed under g_tableLock)
    LONG generation = 0;
    HANDLE file = nullptr;
    LONGLONG end = 0;        // file size after the last whole record (under `lock`)
    LONGLONG rotations = 0;  // rotations so far (under `lock`), so a save can tell
    LONGLONG limit = 0;      // largest size the file may reach
    DWORD backups = 0;       // numbered backups kept
    std::string basePath;    // "<folder>\<file name>" without ".trc"
};

SRWLOCK g_tableLock = SRWLOCK_INIT;  // exclusive to open/close, shared to write/save
Channel g_channels[kMaxChannels];

// Channel name to file name: characters Windows does not allow in file names, and '%', become
// "%XX". Escaping (rather than replacing) keeps distinct names in distinct files, which matters
// because the service's digit runs on through ':', '<' and '>'.
bool FileNameFor(const char* name, std::string* fileName) {
    if (name == nullptr || name[0] == '\0') return false;
    const size_t length = std::strlen(name);
    if (length > kMaxNameLength) return false;
    fileName->clear();
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::strchr("\\/:*?\"<>|%", c) != nullptr) {
            static const char kHex[] = "0123456789ABCDEF";
            *fileName += '%';
            *fileName += kHex[c >> 4];
            *fileName += kHex[c & 0x0F];
        } else {
            *fileName += static_cast<char>(c);
        }
    }
    // "." and ".." name folders; a trailing dot or space would be dropped by the file system.
    const char last = fileName->back();
    return *fileName != "." && *fileName != ".." && last != '.' && last != ' ';
}

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// Folders and file names are UTF-8 here and go to the wide calls, so a folder in any script
// works. A folder with an unpaired surrogate names none: it is not used.
std::string Utf8(const wchar_t* text, size_t length) {
    std::string utf8;
    return fw::WideToUtf8(text, length, &utf8) ? utf8 : std::string();
}

std::string EnvironmentValue(const wchar_t* name) {
    std::vector<wchar_t> buf(MAX_PATH);
    DWORD n = GetEnvironmentVariableW(name, buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {  // too small: n is the size needed
        buf.resize(n);
        n = GetEnvironmentVariableW(name, buf.data(), static_cast<DWORD>(buf.size()));
        if (n >= buf.size()) return {};
    }
    return Utf8(buf.data(), n);
}

std::string RegistryFolder() {
    wchar_t buf[MAX_PATH * 2];
    DWORD size = sizeof(buf);
    if (RegGetValueW(HKEY_CURRENT_USER, fw::Utf8ToWide(kSettingsKey).c_str(), L"Folder",
                     RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) {
        return {};
    }
    return Utf8(buf, wcslen(buf));  // RegGetValueW terminates REG_SZ data
}

// A REG_DWORD under kSettingsKey, `fallback` when absent; then held within [low, high].
DWORD RegistryNumber(const char* name, DWORD fallback, DWORD low, DWORD high) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return fallback;
    }
    return value < low ? low : value > high ? high : value;
}

// BRAMWICK_TRACE_DIR, else HKCU\Software\Bramwick\Trace "Folder", else %TEMP%\BramwickTrace.
// Looked up at every open so a change applies to the next channel without a restart.
std::string TraceFolder() {
    std::string folder = EnvironmentValue(L"BRAMWICK_TRACE_DIR");
    if (folder.empty()) folder = RegistryFolder();
    if (folder.empty()) {
        wchar_t temp[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH) return {};
        folder = WithoutTrailingSeparator(Utf8(temp, n)) + "\\BramwickTrace";
    }
    return WithoutTrailingSeparator(folder);
}

// Creates the folder and any missing parents.
bool EnsureFolder(const std::string& folder) {
    for (size_t i = 1; i < folder.size(); ++i) {
        if (folder[i] == '\\' || folder[i] == '/') {
            // failures show below
            CreateDirectoryW(fw::Utf8ToWide(folder.substr(0, i)).c_str(), nullptr);
        }
    }
    CreateDirectoryW(fw::Utf8ToWide(folder).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(fw::Utf8ToWide(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool SeekTo(HANDLE file, LONGLONG offset) {
    LARGE_INTEGER li;
    li.QuadPart = offset;
    return SetFilePointerEx(file, li, nullptr, FILE_BEGIN) != FALSE;
}

// Gets a freshly opened channel file ready for appending: writes the header into an empty
// file; for an existing one checks the header and cuts a partial last record, which only a
// crash in the middle of a write leaves behind. Returns 0 and the end offset, or an error.
LONG PrepareFile(HANDLE file, LONGLONG* end) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return kErrIo;
    if (size.QuadPart == 0) {
        const TraceFileHeader header = MakeTraceFileHeader();
        if (!WriteAll(file, header.data(), static_cast<DWORD>(header.size()))) return kErrIo;
        *end = static_cast<LONGLONG>(header.size());
        return 0;
    }
    uint8_t header[kTraceFileHeaderSize];
    DWORD read = 0;
    if (!ReadFile(file, header, sizeof(header), &read, nullptr)) return kErrIo;
    if (!IsTraceFileHeader(header, read)) return kErrForeign;
    const LONGLONG body = size.QuadPart - static_cast<LONGLONG>(kTraceFileHeaderSize);
    *end = size.QuadPart - body % static_cast<LONGLONG>(kTraceRecordSize);
    if (!SeekTo(file, *end)) return kErrIo;
    if (*end != size.QuadPart && !SetEndOfFile(file)) return kErrIo;
    return 0;
}

// Finds the open channel a handle names. Caller holds g_tableLock (either mode).
Channel* Lookup(LONG handle) {
    if (handle < 0) return nullptr;
    const LONG index = handle & ((1 << kIndexBits) - 1);
    if (index >= kMaxChannels) return nullptr;
    Channel& channel = g_channels[index];
    if (!channel.open || channel.generation != (handle >> kIndexBits)) return nullptr;
    return &channel;
}

// Copies the first `size` bytes of `source` to `target`, replacing it. The source is opened
// with write sharing because this process still holds it open for appending.
bool CopyPrefix(const std::string& source, const std::string& target, LONGLONG size) {
    fw::UniqueFile in(CreateFileW(fw::Utf8ToWide(source).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return false;
    // Read sharing, so a viewer that has an older copy of that name open does not stop it.
    fw::UniqueFile out(CreateFileW(fw::Utf8ToWide(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    std::vector<char> buf(64 * 1024);
    bool ok = true;
    while (ok && size > 0) {
        const DWORD want = size < static_cast<LONGLONG>(buf.size())
                               ? static_cast<DWORD>(size)
                               : static_cast<DWORD>(buf.size());
        DWORD got = 0;
        ok = ReadFile(in.get(), buf.data(), want, &got, nullptr) && got == want &&
             WriteAll(out.get(), buf.data(), got);
        size -= got;
    }
    out.reset();
    if (!ok) DeleteFileW(fw::Utf8ToWide(target).c_str());
    return ok;
}

std::string BackupPath(const std::string& basePath, DWORD number) {
    return basePath + "." + std::to_string(number) + ".trc";
}

// Moves the channel's records into backup 1 and empties the file. Caller holds the channel's
// lock. Backups that cannot be moved or written are lost rather than the limit passed: the
// file is emptied whatever happens to the copy.
void Rotate(Channel& channel) {
    if (channel.backups > 0) {
        for (DWORD n = channel.backups; n > 1; --n) {
            MoveFileExW(fw::Utf8ToWide(BackupPath(channel.basePath, n - 1)).c_str(),
                        fw::Utf8ToWide(BackupPath(channel.basePath, n)).c_str(),
                        MOVEFILE_REPLACE_EXISTING);
        }
        CopyPrefix(channel.basePath + ".trc", BackupPath(channel.basePath, 1), channel.end);
    }
    const LONGLONG header = static_cast<LONGLONG>(kTraceFileHeaderSize);
    if (SeekTo(channel.file, header) && SetEndOfFile(channel.file)) {
        channel.end = header;
    } else {
        SeekTo(channel.file, channel.end);  // the next write fails the same way and is refused
    }
    ++channel.rotations;
}

// Copies every open channel to "<name>_YYYYMMDD_HHMMSS.trc" beside it. The channel list and
// sizes are taken under the locks and the copying runs without them, so tracing does not wait
// for it. Only whole records are copied; records written meanwhile go to the next save.
// A copy during which the channel rotated may mix old and new records, so it is made again;
// should the channel rotate during every try (a tiny limit and a busy channel), the last try
// holds the channel's lock and its writers wait for the copy.
LONG SaveAll() {
    struct Snapshot {
        LONG handle;
        std::string basePath;
        LONGLONG end;
        LONGLONG rotations;
    };
    std::vector<Snapshot> snapshots;
    AcquireSRWLockShared(&g_tableLock);
    for (int i = 0; i < kMaxChannels; ++i) {
        Channel& channel = g_channels[i];
        if (!channel.open) continue;
        AcquireSRWLockExclusive(&channel.lock);
        snapshots.push_back({(channel.generation << kIndexBits) | i, channel.basePath, channel.end,
                             channel.rotations});
        ReleaseSRWLockExclusive(&channel.lock);
    }
    ReleaseSRWLockShared(&g_tableLock);

    SYSTEMTIME st;
    GetLocalTime(&st);
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "_%04u%02u%02u_%02u%02u%02u", st.wYear, st.wMonth, st.wDay,
             st.wHour, st.wMinute, st.wSecond);
    // Runs `work` with the channel of a handle locked, or with null once it has closed (its
    // file then stays as it is).
    auto withChannel = [](LONG handle, auto work) {
        AcquireSRWLockShared(&g_tableLock);
        Channel* channel = Lookup(handle);
        if (channel != nullptr) AcquireSRWLockExclusive(&channel->lock);
        work(channel);
        if (channel != nullptr) ReleaseSRWLockExclusive(&channel->lock);
        ReleaseSRWLockShared(&g_tableLock);
    };
    bool ok = true;
    for (Snapshot& s : snapshots) {
        const std::string source = s.basePath + ".trc";
        const std::string target = s.basePath + stamp + ".trc";
        bool copied = false;
        for (int attempt = 1; attempt < kSaveAttempts && !copied; ++attempt) {
            const bool whole = CopyPrefix(source, target, s.end);
            withChannel(s.handle, [&](Channel* channel) {
                if (channel != nullptr && channel->rotations != s.rotations) {
                    s.end = channel->end;
                    s.rotations = channel->rotations;
                } else {
                    copied = whole;
                }
            });
        }
        if (!copied) {
            withChannel(s.handle, [&](Channel* channel) {
                if (channel != nullptr) s.end = channel->end;
                copied = CopyPrefix(source, target, s.end);
            });
        }
        ok = copied && ok;
    }
    return ok ? 0 : kSaveFailed;
}

// Closes every channel when the library is unloaded.
void CloseAll() {
    AcquireSRWLockExclusive(&g_tableLock);
    for (Channel& channel : g_channels) {
        if (!channel.open) continue;
        CloseHandle(channel.file);
        channel.open = false;
        channel.file = nullptr;
        channel.basePath.clear();
    }
    ReleaseSRWLockExclusive(&g_tableLock);
}

}  // namespace

extern "C" {

LONG __cdecl OPOSTraceOpenEx(const char* name) {
    std::string fileName;
    // The service names channels in UTF-8; an older caller's ANSI name is made UTF-8 here.
    if (name == nullptr || !FileNameFor(fw::ToUtf8(name).c_str(), &fileName)) return kErrArgument;
    const std::string folder = TraceFolder();
    if (folder.empty() || !EnsureFolder(folder)) return kErrIo;
    const std::string basePath = folder + "\\" + fileName;

    HANDLE file =
        CreateFileW(fw::Utf8ToWide(basePath + ".trc").c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? kErrInUse : kErrIo;
    }
    LONGLONG end = 0;
    const LONG prepared = PrepareFile(file, &end);
    if (prepared != 0) {
        CloseHandle(file);
        return prepared;
    }

    // Like the folder, the limits are looked up at every open.
    const LONGLONG limit = static_cast<LONGLONG>(RegistryNumber("MaxFileKB", kDefaultMaxFileKB,
                                                                kMinMaxFileKB, kMaxMaxFileKB)) *
                           1024;
    const DWORD backups = RegistryNumber("Backups", kDefaultBackups, 0, kMaxBackups);

    LONG handle = kErrTableFull;
    AcquireSRWLockExclusive(&g_tableLock);
    for (int i = 0; i < kMaxChannels; ++i) {
        Channel& channel = g_channels[i];
        if (channel.open) continue;
        channel.generation = (channel.generation % kGenerationMask) + 1;
        channel.open = true;
        channel.file = file;
        channel.end = end;
        channel.rotations = 0;
        channel.limit = limit;
        channel.backups = backups;
        channel.basePath = basePath;
        handle = (channel.generation << kIndexBits) | i;
        break;
    }
    ReleaseSRWLockExclusive(&g_tableLock);
    if (handle < 0) CloseHandle(file);
    return handle;
}

LONG __cdecl OPOSTraceEx(LONG handle, const void* record, LONG length) {
    if (length != static_cast<LONG>(kTraceRecordSize)) return kErrLength;
    if (record == nullptr) return kErrArgument;
    LONG result = kErrArgument;
    AcquireSRWLockShared(&g_tableLock);
    if (Channel* channel = Lookup(handle)) {
        AcquireSRWLockExclusive(&channel->lock);
        const LONGLONG size = static_cast<LONGLONG>(kTraceRecordSize);
        if (channel->end + size > channel->limit &&
            channel->end > static_cast<LONGLONG>(kTraceFileHeaderSize)) {
            Rotate(*channel);
        }
        if (channel->end + size > channel->limit) {
            result = kErrIo;  // the file could not be emptied: refused rather than grown
        } else if (WriteAll(channel->file, record, kTraceRecordSize)) {
            channel->end += static_cast<LONGLONG>(kTraceRecordSize);
            result = 0;
        } else {
            // Drop a partial record so the ones after it stay aligned.
            SeekTo(channel->file, channel->end);
            SetEndOfFile(channel->file);
            result = kErrIo;
        }
        ReleaseSRWLockExclusive(&channel->lock);
    }
    ReleaseSRWLockShared(&g_tableLock);
    return result;
}

LONG __cdecl OPOSTraceCloseEx(LONG handle) {
    LONG result = kErrArgument;
    AcquireSRWLockExclusive(&g_tableLock);
    if (Channel* channel = Lookup(handle)) {
        CloseHandle(channel->file);
        channel->open = false;
        channel->file = nullptr;
        channel->basePath.clear();
        result = 0;
    }
    ReleaseSRWLockExclusive(&g_tableLock);
    return result;
}

LONG __cdecl OPOSTraceFileSaveEx2() {
    return SaveAll();
}

// Older form of the save: same copies, but the caller learns nothing about failures.
LONG __cdecl OPOSTraceFileSaveEx() {
    SaveAll();
    return 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary. At process exit (reserved != null) other threads may have
        // been stopped while holding a lock, so the system is left to close the files.
        CloseAll();
    }
    return TRUE;
}
