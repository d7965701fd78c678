// Texts the port library is configured with: the port name, which chooses between a serial port
// and a simulated controller, and the line settings text "19200,N,8,1". No Windows headers.
#pragma once

#include <cstdint>
#include <string>

namespace ports {

enum class PortKind {
    Serial,      // anything that does not start with "SIM"
    Simulator,   // "SIM" in any letter case, then letters, digits, '_' or '-'
    BadSimName,  // starts with "SIM" but cannot name a controller
};

constexpr size_t kMaxSimNameLength = 64;

// Classifies a port name; for a simulator gives the controller's name in capitals, which names
// its state file and kernel objects ("sim1" and "SIM1" are the same controller).
PortKind ClassifyPort(const char* port, std::string* simName);

// "baud,parity,data bits,stop bits": baud a positive decimal number, parity one of N E O M S
// (either case), data bits 5 to 8, stop bits 1, 1.5 or 2. Blanks around a field are allowed.
struct LineSettings {
    uint32_t baud = 0;
    char parity = 'N';  // upper case
    uint8_t dataBits = 8;
    uint8_t stopBitsTimesTwo = 2;  // 2, 3 or 4 for 1, 1.5 and 2 stop bits
};

bool ParseLineSettings(const char* text, LineSettings* out);

}  // namespace ports
