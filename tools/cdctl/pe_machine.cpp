// The machine type of a Windows module from its DOS and PE headers.
#include "tools/cdctl/pe_machine.h"

namespace cdctl {

namespace {

constexpr size_t kNewHeaderOffset = 0x3C;  // e_lfanew in the DOS header
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;

uint32_t Little(const std::string& bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    }
    return value;
}

}  // namespace

uint16_t PeMachine(const std::string& head) {
    if (head.size() < kNewHeaderOffset + 4 || head.compare(0, 2, "MZ") != 0) return 0;
    const uint32_t pe = Little(head, kNewHeaderOffset, 4);
    // The signature "PE\0\0" is followed by the 16-bit Machine field.
    if (pe > head.size() || head.size() - pe < 6 ||
        head.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        return 0;
    }
    return static_cast<uint16_t>(Little(head, pe + 4, 2));
}

ModuleBits BitsOfMachine(uint16_t machine) {
    switch (machine) {
        case kMachineI386:
            return ModuleBits::Bits32;
        case kMachineAmd64:
            return ModuleBits::Bits64;
        default:
            return ModuleBits::Unknown;
    }
}

}  // namespace cdctl
