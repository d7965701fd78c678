// Counter file I/O with an atomic replace.
#include "ras/counter_file.h"

#include "framework/handles.h"
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

LONG LastFileError() {
    return FileErrorToResult(GetLastError());
}

}  // namespace

LONG ReadCounterFile(const std::string& path, std::string* contents) {
    contents->clear();
    fw::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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

std::string CounterFileTempPath(const std::string& path) {
    return path + ".tmp";
}

LONG WriteCounterFile(const std::string& path, const std::string& text) {
    // A read-only counter file is not to be rewritten; not every file system refuses to
    // rename over one, so look first.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return FileErrorToResult(ERROR_ACCESS_DENIED);
    }

    const std::string temp = CounterFileTempPath(path);
    {
        fw::UniqueFile file(CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return LastFileError();

        DWORD written = 0;
        const bool ok = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()),
                                  &written, nullptr) &&
                        written == text.size() && FlushFileBuffers(file.get());
        if (!ok) {
            file.reset();
            DeleteFileA(temp.c_str());
            return OPOS_E_FAILURE;
        }
    }
    if (!MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const LONG result = LastFileError();
        DeleteFileA(temp.c_str());
        return result;
    }
    return OPOS_SUCCESS;
}

LONG CheckCounterFile(const std::string& path) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    fw::UniqueFile existing(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (existing) return OPOS_SUCCESS;

    fw::UniqueFile created(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created) return LastFileError();
    // OPEN_ALWAYS also opens a file that exists but could not be read above: keep that one.
    const bool createdHere = GetLastError() != ERROR_ALREADY_EXISTS;
    created.reset();
    if (createdHere) DeleteFileA(path.c_str());
    return OPOS_SUCCESS;
}

std::string LoadedModulePath(const char* moduleName) {
    if (moduleName == nullptr || *moduleName == '\0') return {};
    HMODULE module = GetModuleHandleA(moduleName);
    if (module == nullptr) return {};
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::string(path, n);
}
