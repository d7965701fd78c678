// Kernel-object names of a device and the table of the processes that share its blocks.
#include "stats/device_sharing.h"

namespace {

bool Matches(const USERPROCESS& entry, const ProcessIdentity& process) {
    return entry.dwProcessId != 0 && entry.dwProcessId == process.id &&
           entry.dwStartedLow == static_cast<uint32_t>(process.started) &&
           entry.dwStartedHigh == static_cast<uint32_t>(process.started >> 32);
}

ProcessIdentity IdentityOf(const USERPROCESS& entry) {
    ProcessIdentity process;
    process.id = entry.dwProcessId;
    process.started = uint64_t{entry.dwStartedHigh} << 32 | entry.dwStartedLow;
    return process;
}

}  // namespace

std::string CanonicalDeviceName(const std::string& name) {
    std::string canonical = name;
    for (char& c : canonical) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return canonical;
}

std::string DeviceObjectName(const char* prefix, const std::string& deviceClass,
                             const std::string& deviceName) {
    return prefix + CanonicalDeviceName(deviceClass) + "_" + CanonicalDeviceName(deviceName);
}

bool AddUserOpen(USERTABLE* table, const ProcessIdentity& process) {
    USERPROCESS* free = nullptr;
    for (USERPROCESS& entry : table->aEntries) {
        if (Matches(entry, process)) {
            ++entry.nOpens;
            return true;
        }
        if (entry.dwProcessId == 0 && free == nullptr) free = &entry;
    }
    if (free == nullptr || process.id == 0) return false;
    free->dwProcessId = process.id;
    free->nOpens = 1;
    free->dwStartedLow = static_cast<uint32_t>(process.started);
    free->dwStartedHigh = static_cast<uint32_t>(process.started >> 32);
    return true;
}

void RemoveUserOpen(USERTABLE* table, const ProcessIdentity& process) {
    for (USERPROCESS& entry : table->aEntries) {
        if (!Matches(entry, process)) continue;
        if (entry.nOpens > 1) {
            --entry.nOpens;
        } else {
            entry = USERPROCESS{};
        }
        return;
    }
}

void DropEndedUsers(USERTABLE* table, ProcessAliveFn alive) {
    for (USERPROCESS& entry : table->aEntries) {
        if (entry.dwProcessId != 0 && !alive(IdentityOf(entry))) entry = USERPROCESS{};
    }
}

int32_t CountUserOpens(const USERTABLE& table) {
    int64_t opens = 0;
    for (const USERPROCESS& entry : table.aEntries) {
        if (entry.dwProcessId != 0) opens += entry.nOpens;
    }
    return opens > INT32_MAX ? INT32_MAX : static_cast<int32_t>(opens);
}
