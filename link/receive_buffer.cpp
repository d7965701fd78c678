// The reader's receive buffer and frame decoding.
#include "link/receive_buffer.h"

#include <cstring>

void ReceiveBuffer::Reset() {
    memset(m_buffer, 0, sizeof(m_buffer));
    memset(m_frame, 0, sizeof(m_frame));
    m_frameCount = 0;
    m_held = 0;
}

void ReceiveBuffer::Remember(const uint8_t* frame) {
    if (m_frameCount == kMaxPassFrames) {
        memmove(m_frames[0], m_frames[1], sizeof(m_frames) - sizeof(m_frames[0]));
        --m_frameCount;
    }
    memcpy(m_frames[m_frameCount++], frame, 4);
    memcpy(m_frame, frame, 4);
}

void ReceiveBuffer::Discard() {
    memset(m_buffer, 0, sizeof(m_buffer));
    m_held = 0;
}

int ReceiveBuffer::Accept(int got) {
    int total = m_held + got;
    int found = 0;
    if (total >= 4) {
        // Every complete frame, in order (the last one is the newest); the held bytes hold
        // none, so none is seen twice.
        for (int i = 3; i < total; ++i) {
            if (m_buffer[i] == kFrameEnd && m_buffer[i - 3] == kFrameStart) {
                Remember(m_buffer + i - 3);
                ++found;
            }
        }
        // Keep an unfinished frame start for the next read.
        int keep = 0;
        if (m_buffer[total - 1] == kFrameStart) {
            keep = 1;
        } else if (m_buffer[total - 2] == kFrameStart) {
            keep = 2;
        } else if (m_buffer[total - 3] == kFrameStart) {
            keep = 3;
        }
        memmove(m_buffer, m_buffer + total - keep, static_cast<size_t>(keep));
        m_held = keep;
    } else {
        // Too few bytes to search: keep them all for the next read rather than lose them.
        m_held = total;
    }
    memset(m_buffer + m_held, 0, static_cast<size_t>(kReceiveBufferSize - m_held));
    return found;
}

std::optional<DrawerBits> DecodeStatusFrame(const uint8_t frame[4]) {
    if (frame[0] != kFrameStart || frame[3] != kFrameEnd) return std::nullopt;
    if (frame[1] != kFrameDrawerEvent && frame[1] != kFrameStatusReply) return std::nullopt;
    return DrawerBits{(frame[2] & kFrameDrawer1Bit) != 0, (frame[2] & kFrameDrawer2Bit) != 0};
}
