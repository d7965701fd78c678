// The machine type of a module read from its headers, and files that are no module.
#include <gtest/gtest.h>

#include <string>

#include "tools/cdctl/pe_machine.h"

namespace {

using cdctl::ModuleBits;

// A DOS header whose e_lfanew names peAt, followed there by "PE\0\0" and the machine.
std::string Module(uint32_t peAt, uint16_t machine) {
    std::string head(peAt + 24, '\0');
    head[0] = 'M';
    head[1] = 'Z';
    for (int i = 0; i < 4; ++i) head[0x3C + i] = static_cast<char>(peAt >> (8 * i));
    head.replace(peAt, 4, std::string("PE\0\0", 4));
    head[peAt + 4] = static_cast<char>(machine & 0xFF);
    head[peAt + 5] = static_cast<char>(machine >> 8);
    return head;
}

TEST(PeMachine, ReadsTheMachineWhereTheDosHeaderPointsAndNothingElse) {
    EXPECT_EQ(ModuleBits::Bits32, cdctl::BitsOfMachine(cdctl::PeMachine(Module(0x80, 0x014C))));
    EXPECT_EQ(ModuleBits::Bits64, cdctl::BitsOfMachine(cdctl::PeMachine(Module(0x100, 0x8664))));
    EXPECT_EQ(ModuleBits::Unknown, cdctl::BitsOfMachine(cdctl::PeMachine(Module(0x80, 0xAA64))));
    std::string notMz = Module(0x80, 0x8664), farAway = notMz;
    notMz[0] = 'N';
    farAway[0x3D] = 0x7F;                                          // e_lfanew beyond the bytes read
    const std::string cut = Module(0x80, 0x8664).substr(0, 0x84);  // no room for the field
    for (const std::string& head : {std::string("MZ"), notMz, cut, farAway}) {
        EXPECT_EQ(0, cdctl::PeMachine(head)) << head.size();
    }
}

}  // namespace
