// What every process that shares a device's statistics or reliability block agrees on: the
// names of the block's kernel objects and the table of the processes that use the block.
// Both the 32- and the 64-bit build map the same blocks, so the table is made of fixed-width
// fields only. Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The device class and name as they appear in kernel-object names. The registry finds a
// device key whatever the letter case of its name, but kernel-object names are compared
// exactly, so "Drawer1" and "drawer1" must come to the same name or one device gets two
// blocks. The letters a to z become A to Z and every other byte is kept: the result is the
// same in every process, 32- or 64-bit, whatever its code page or user language. Names are
// UTF-8, so no byte of another character is one of a to z; the Windows side upper-cases the
// letters of other scripts (fw::UpperCaseBeyondAscii) before it asks for the object.
std::string CanonicalDeviceName(const std::string& name);
// prefix followed by the canonical class, "_" and the canonical device name.
std::string DeviceObjectName(const char* prefix, const std::string& deviceClass,
                             const std::string& deviceName);

// A process as the user table records it: its id and its creation time, so that an id the
// system has handed to a new process is not taken for the old one.
struct ProcessIdentity {
    uint32_t id = 0;
    uint64_t started = 0;  // FILETIME of the creation, 100 ns units
};

// One using process: how many times it has the block open.
struct USERPROCESS {
    uint32_t dwProcessId;  // 0: free entry
    uint32_t nOpens;
    uint32_t dwStartedLow;
    uint32_t dwStartedHigh;
};
constexpr int32_t kMaxUserProcesses = 32;
struct USERTABLE {
    USERPROCESS aEntries[kMaxUserProcesses];
};
static_assert(sizeof(USERPROCESS) == 16, "USERPROCESS is 16 bytes in every build");
static_assert(sizeof(USERTABLE) == 512, "USERTABLE is 512 bytes in every build");
static_assert(alignof(USERTABLE) == 4, "USERTABLE has no member wider than 32 bits");

// Whether a recorded process is still running.
using ProcessAliveFn = bool (*)(const ProcessIdentity& process);

// Counts one more open by process. False when the table has no room for a new process: the
// open is then not counted, and a close may take itself for the last one too early (which
// only saves once more).
bool AddUserOpen(USERTABLE* table, const ProcessIdentity& process);
// Counts one open by process less; an entry left without opens is freed.
void RemoveUserOpen(USERTABLE* table, const ProcessIdentity& process);
// Frees the entries of processes that are no longer running.
void DropEndedUsers(USERTABLE* table, ProcessAliveFn alive);
// The opens of all recorded processes.
int32_t CountUserOpens(const USERTABLE& table);
