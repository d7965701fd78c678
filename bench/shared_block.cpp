// The benchmark's shared mapping and events.
#include "bench/shared_block.h"

namespace bench {

bool SharedArea::Open() {
    m_mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       sizeof(SharedBlock), "BramwickBench Block"));
    if (!m_mapping) return false;
    m_view.reset(MapViewOfFile(m_mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(SharedBlock)));
    if (!m_view) return false;
    m_block = static_cast<SharedBlock*>(m_view.get());
    m_reported.reset(CreateEventA(nullptr, FALSE, FALSE, "BramwickBench Reported"));
    m_stop.reset(CreateEventA(nullptr, TRUE, FALSE, "BramwickBench Stop"));
    return m_reported && m_stop;
}

}  // namespace bench
