// The service's event queue and the event thread that delivers it. Producers (input and
// power-fail threads) only append under the queue lock; the event thread takes the freeze,
// control-object freeze and queue locks in that order and releases all of them before it
// calls the bridge, so an event handler may change any property without waiting for it.
#include "so/cash_drawer.h"

void CCashDrawer::QueueEvent(COPOSEvent* record) {
    {
        fw::MutexGuard lock = m_queueLock.Acquire();
        m_eventQueue.emplace_back(record);
    }
    if (!m_bFreezeEvents && !m_bCOFreezeEvents) m_objects.eventWake.Set();
}

void CCashDrawer::QueueStatusUpdate(LONG status) {
    // Changes seen while disabled are lost, not deferred.
    if (!m_bDeviceEnabled) return;
    QueueEvent(new CStatusUpdateEvent(status));
}

LONG CCashDrawer::COFreezeEvents(LONG freeze) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    m_trace.Trace(m_lTraceHandle, "MCFz", 1, freeze, 0, 0, 0, 0);
    bool frozen = freeze != 0;
    {
        fw::MutexGuard lock = m_coFreezeLock.Acquire();
        m_bCOFreezeEvents = frozen ? TRUE : FALSE;
    }
    if (!frozen && !m_bFreezeEvents) m_objects.eventWake.Set();
    m_trace.Trace(m_lTraceHandle, "mCFz", 2, m_lResultCode, m_lResultCodeExtended, 0, 0, 0);
    return OPOS_SUCCESS;
}

std::list<std::unique_ptr<COPOSEvent>>::iterator CCashDrawer::FindDeliverableEvent() {
    for (auto it = m_eventQueue.begin(); it != m_eventQueue.end(); ++it) {
        if (IsDeliverableKind((*it)->m_nKind)) return it;
    }
    return m_eventQueue.end();
}

DWORD CCashDrawer::EventThreadProc(void* self) {
    return static_cast<CCashDrawer*>(self)->RunEventThread();
}

DWORD CCashDrawer::RunEventThread() {
    constexpr DWORD kIdleWaitMs = 10000;  // picks up a record even if a wake-up was missed
    for (;;) {
        fw::MutexGuard stopLock = m_eventThreadLock.Acquire();
        if (m_bStopEventThread) {
            stopLock.Unlock();
            fw::MutexGuard queueLock = m_queueLock.Acquire();
            m_eventQueue.clear();  // purged unseen
            m_trace.Trace(m_lEventTraceHandle, "EEnd", 0, 0, 0, 0, 0, 0);
            return 0;
        }
        stopLock.Unlock();

        fw::MutexGuard freezeLock = m_freezeLock.Acquire();
        fw::MutexGuard coFreezeLock = m_coFreezeLock.Acquire();
        fw::MutexGuard queueLock = m_queueLock.Acquire();
        auto found = m_eventQueue.end();
        if (!m_bClosing && m_bDeviceEnabled && !m_bFreezeEvents && !m_bCOFreezeEvents) {
            found = FindDeliverableEvent();
        }
        if (found != m_eventQueue.end()) {
            freezeLock.Unlock();
            coFreezeLock.Unlock();
            std::unique_ptr<COPOSEvent> record = std::move(*found);
            m_eventQueue.erase(found);
            queueLock.Unlock();
            if (IsDeliverableKind(record->m_nKind)) m_bridge.FireEvent(record.get());
            continue;  // the record is deleted here, after the bridge has returned
        }
        freezeLock.Unlock();
        coFreezeLock.Unlock();
        queueLock.Unlock();
        if (!m_bStopEventThread) {
            m_objects.eventWake.Wait(kIdleWaitMs);
            m_objects.eventWake.Reset();
        }
    }
}

size_t CCashDrawer::QueuedEventCount() {
    fw::MutexGuard lock = m_queueLock.Acquire();
    return m_eventQueue.size();
}
