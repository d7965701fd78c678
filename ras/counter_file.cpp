// Counter file I/O with an atomic replace, and the data folder that holds counter files.
#include "ras/counter_file.h"

#include <shlobj.h>

#include <cstring>

#include "framework/handles.h"
#include "framework/module.h"
#include "framework/wide_text.h"
#include "ras/counter_file_rules.h"
#include "ras/counter_path.h"
#include "ras/ras_rules.h"
#include "util/opos_constants.h"

static_assert(ERROR_FILE_NOT_FOUND == 2 && ERROR_PATH_NOT_FOUND == 3 && ERROR_INVALID_DRIVE == 15 &&
                  ERROR_BAD_NETPATH == 53 && ERROR_DEV_NOT_EXIST == 55 &&
                  ERROR_BAD_NET_NAME == 67 && ERROR_INVALID_NAME == 123 &&
                  ERROR_BAD_PATHNAME == 161,
              "FileErrorToResult names these codes by number");
static_assert(ERROR_BAD_UNIT == 20 && ERROR_NOT_READY == 21 && ERROR_CRC == 23 &&
                  ERROR_SECTOR_NOT_FOUND == 27 && ERROR_WRITE_FAULT == 29 &&
                  ERROR_READ_FAULT == 30 && ERROR_GEN_FAILURE == 31 && ERROR_ADAP_HDW_ERR == 57 &&
                  ERROR_IO_DEVICE == 1117,
              "FileErrorToResult names these codes by number");

namespace {

// A counter file holds at most 32 lines of 40 bytes; anything near this size is not one.
constexpr LONGLONG kMaxCounterFileSize = 1024 * 1024;
// Names tried for the temporary file while earlier ones are taken.
constexpr int kTempNameAttempts = 16;
constexpr int kSetAsideAttempts = 100;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

LONG LastFileError() {
    return FileErrorToResult(GetLastError());
}

// A counter path (UTF-8, or the ANSI bytes of a DirectIO name) for the wide file functions.
// Paths of MAX_PATH characters or more exist only in the extended form ("\\?\"), which takes a
// full path as it is: it is made full first.
std::wstring FilePath(const std::string& path) {
    const std::wstring wide = fw::Utf8ToWide(path);
    if (wide.empty() || wide.size() < MAX_PATH || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;

    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    if (got == 0 || got >= size) return wide;
    full.resize(got);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool WriteAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size() && FlushFileBuffers(file);
}

// The text over the old contents of an existing file, for when it may not be replaced. Others
// keep reading it meanwhile; the file ends where the text ends.
LONG WriteInPlace(const std::wstring& target, const std::string& text, DWORD replaceError) {
    fw::UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FileErrorToResult(replaceError);
    DWORD written = 0;
    const bool ok =
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && SetEndOfFile(file.get()) && FlushFileBuffers(file.get());
    return ok ? OPOS_SUCCESS : OPOS_E_FAILURE;
}

}  // namespace

LONG ReadCounterFile(const std::string& path, std::string* contents) {
    contents->clear();
    fw::UniqueFile file(CreateFileW(FilePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastFileError();

    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size)) return OPOS_E_FAILURE;
    if (size.QuadPart == 0) return OPOS_E_ILLEGAL;
    if (size.QuadPart > kMaxCounterFileSize) return OPOS_E_FAILURE;

    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), &data[0], static_cast<DWORD>(data.size()), &got, nullptr) &&
        GetLastError() != ERROR_HANDLE_EOF) {
        return OPOS_E_FAILURE;
    }
    if (got != data.size()) return OPOS_E_FAILURE;  // the file shrank under us
    *contents = std::move(data);
    return OPOS_SUCCESS;
}

LONG LookAtFile(const std::string& path, size_t limit, std::string* contents) {
    contents->clear();
    fw::UniqueFile file(CreateFileW(FilePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastFileError();
    std::string data(limit + 1, '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), &data[0], static_cast<DWORD>(data.size()), &got, nullptr) &&
        GetLastError() != ERROR_HANDLE_EOF) {
        return OPOS_E_FAILURE;
    }
    data.resize(got);
    *contents = std::move(data);
    return OPOS_SUCCESS;
}

LONG WriteCounterFile(const std::string& path, const std::string& text) {
    const std::wstring target = FilePath(path);
    // A read-only counter file is not to be rewritten; not every file system refuses to
    // rename over one, so look first.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return FileErrorToResult(ERROR_ACCESS_DENIED);
    }

    // A new temporary file, never one that is there already: that may be someone's.
    std::wstring temp;
    fw::UniqueFile file;
    for (int attempt = 0; attempt < kTempNameAttempts && !file; ++attempt) {
        temp = FilePath(CounterTempName(path, attempt));
        file.reset(CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && GetLastError() != ERROR_FILE_EXISTS) return LastFileError();
    }
    if (!file) return OPOS_E_FAILURE;
    if (!WriteAll(file.get(), text)) {
        file.reset();
        DeleteFileW(temp.c_str());
        return OPOS_E_FAILURE;
    }
    file.reset();

    if (MoveFileExW(temp.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return OPOS_SUCCESS;
    }
    const DWORD error = GetLastError();
    DeleteFileW(temp.c_str());
    // A reader holding the file without delete sharing refuses the rename, not a write.
    if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
        GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return WriteInPlace(target, text, error);
    }
    return FileErrorToResult(error);
}

LONG CheckCounterFile(const std::string& path) {
    const std::wstring target = FilePath(path);
    fw::UniqueFile existing(CreateFileW(target.c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (existing) return OPOS_SUCCESS;

    fw::UniqueFile created(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created) return LastFileError();
    // OPEN_ALWAYS also opens a file that exists but could not be read above: keep that one.
    const bool createdHere = GetLastError() != ERROR_ALREADY_EXISTS;
    created.reset();
    if (createdHere) DeleteFileW(target.c_str());
    return OPOS_SUCCESS;
}

LONG SetCounterFileAside(const std::string& path, std::string* aside) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::wstring source = FilePath(path);
    for (int attempt = 0; attempt < kSetAsideAttempts; ++attempt) {
        *aside = SetAsideName(path, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                              now.wSecond, attempt);
        if (MoveFileExW(source.c_str(), FilePath(*aside).c_str(), MOVEFILE_WRITE_THROUGH)) {
            return OPOS_SUCCESS;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            return FileErrorToResult(error);
        }
    }
    return OPOS_E_FAILURE;
}

std::string CounterDataFolderFor(const std::string& modulePath) {
    wchar_t path[MAX_PATH] = {};
    // Not verified: the folder may be missing and is then made with the first file.
    const bool known = SUCCEEDED(SHGetFolderPathW(
        nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path));
    return CounterDataFolderOf(known ? fw::WideToUtf8(path) : std::string(), modulePath);
}

std::string CounterDataFolder(const char* moduleName) {
    HMODULE module = moduleName && *moduleName ? GetModuleHandleA(moduleName) : nullptr;
    return CounterDataFolderFor(module ? fw::WideToUtf8(fw::ModulePath(module)) : std::string());
}

void PrepareCounterFolder(const std::string& path, const std::string& dataFolder) {
    if (!IsInFolder(path, dataFolder)) return;
    const std::wstring folder = fw::Utf8ToWide(dataFolder);
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() != ERROR_PATH_NOT_FOUND) {
        return;  // made, or there already (any other failure shows at the file itself)
    }
    const size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring::npos || slash == 0) return;
    CreateDirectoryW(folder.substr(0, slash).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
}
