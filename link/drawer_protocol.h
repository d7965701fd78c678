// The drawer controller's byte protocol, as the service sends and decodes it and as the
// simulated controller answers it. Pure; no Windows headers.
//   open command    ESC 0x01 d [p]     d: drawer index (0 or 1), p: solenoid pulse width
//   status command  ESC 0x02 0x01 [0x00]
//   status frame    ESC type bits CR   type 0x01 or 0x02, bit 0 drawer 1, bit 1 drawer 2
// The bracketed byte is sent only to a solenoid drawer.
#pragma once

#include <cstdint>

constexpr uint8_t kFrameStart = 0x1B;  // ESC: begins every command and every frame
constexpr uint8_t kFrameEnd = 0x0D;    // CR: ends a status frame
constexpr uint8_t kCommandOpen = 0x01;
constexpr uint8_t kCommandStatus = 0x02;
constexpr uint8_t kStatusSelector = 0x01;
constexpr uint8_t kSolenoidStatusPad = 0x00;
constexpr uint8_t kFrameDrawerEvent = 0x01;  // answer to an open command, and unsolicited changes
constexpr uint8_t kFrameStatusReply = 0x02;  // answer to a status command
constexpr uint8_t kFrameDrawer1Bit = 0x01;
constexpr uint8_t kFrameDrawer2Bit = 0x02;
