// The machine type of a Windows module, read from the first bytes of its file: which registry
// view's service can load a port library. Pure C++; the caller reads the file.
#pragma once

#include <cstdint>
#include <string>

namespace cdctl {

enum class ModuleBits { Unknown, Bits32, Bits64 };

// The Machine field of the PE file header found through the DOS header's e_lfanew, when head
// (the file's first bytes) holds both headers; 0 when it is no PE file or too short.
uint16_t PeMachine(const std::string& head);

// 32 for i386, 64 for x64; anything else (ARM, ARM64, no PE file) is Unknown.
ModuleBits BitsOfMachine(uint16_t machine);

}  // namespace cdctl
