// The reader's receive buffer: reads land behind the bytes held over from the previous read,
// every complete ESC ... CR frame of the pass is remembered in order (the newest also on its
// own), and an unfinished frame start at the end is kept for the next read. Pure; tested
// natively.
#pragma once

#include <cstdint>
#include <optional>

#include "link/drawer_protocol.h"

constexpr int kReceiveBufferSize = 128;
constexpr int kMaxPassFrames = 32;  // frames of one pass kept in order; older ones give way

struct DrawerBits {
    int32_t drawer1;  // 0 or 1
    int32_t drawer2;
};

class ReceiveBuffer {
public:
    // Starts a read pass: empty buffer, nothing held, no frame.
    void Reset();
    // Where the next read goes, and how much may be read (128 minus the held bytes).
    uint8_t* WritePointer() { return m_buffer + m_held; }
    int Room() const { return kReceiveBufferSize - m_held; }
    // Takes `got` newly read bytes: finds the frames among held + new bytes when there are at
    // least four and keeps an unfinished frame start; fewer than four are all kept. The rest of
    // the buffer is zeroed. Returns how many frames these bytes completed.
    int Accept(int got);
    // Throws away the bytes of the pass after a failed read; a frame found earlier stays.
    void Discard();

    int held() const { return m_held; }
    const uint8_t* frame() const { return m_frame; }
    const uint8_t* data() const { return m_buffer; }
    // The frames of the pass, oldest first.
    int frameCount() const { return m_frameCount; }
    const uint8_t* frameAt(int i) const { return m_frames[i]; }

private:
    void Remember(const uint8_t* frame);

    uint8_t m_buffer[kReceiveBufferSize] = {};
    uint8_t m_frame[4] = {};
    uint8_t m_frames[kMaxPassFrames][4] = {};
    int m_frameCount = 0;
    int m_held = 0;
};

// The drawer bits of a status frame; nothing for anything else (including a frame of another
// type).
std::optional<DrawerBits> DecodeStatusFrame(const uint8_t frame[4]);
