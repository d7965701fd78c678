// Event records queued for the control object. Producers allocate a record and give it to
// the queue; the event thread deletes it after delivery or when it purges the queue.
#pragma once

#include <cstdint>

// Kinds are the indexes of the control object's callbacks in the bridge's name table, and the
// bits that enable them in its mask.
enum OposEventKind : int32_t {
    kEventData = 1,
    kEventDirectIO = 2,
    kEventError = 3,
    kEventOutputComplete = 4,
    kEventStatusUpdate = 5,
};

class COPOSEvent {
public:
    explicit COPOSEvent(int32_t kind) : m_nKind(kind) {}
    virtual ~COPOSEvent() = default;
    COPOSEvent(const COPOSEvent&) = delete;
    COPOSEvent& operator=(const COPOSEvent&) = delete;

    int32_t m_nKind;
};

class CStatusUpdateEvent final : public COPOSEvent {
public:
    explicit CStatusUpdateEvent(int32_t data) : COPOSEvent(kEventStatusUpdate), m_lData(data) {}

    int32_t m_lData;
};

// Only direct-I/O and status-update records are ever handed to the bridge.
inline bool IsDeliverableKind(int32_t kind) {
    return kind == kEventDirectIO || kind == kEventStatusUpdate;
}
