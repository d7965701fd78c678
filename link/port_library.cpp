// CPortLibrary: loading the port library and issuing its requests.
#include "link/port_library.h"

#include <cstring>

#include "framework/module.h"

namespace {
template <class T>
PortWord Word(T value) {
    return (PortWord)(value);
}
}  // namespace

void CPortLibrary::Free() {
    m_module.reset();
    m_pfnInit = nullptr;
    m_pfnTerm = nullptr;
    m_hPort = 0;
    m_pfnRequest = nullptr;
}

LONG CPortLibrary::Load(const PortOpenParams& params, const char* directory, const char* fileName) {
    LONG* detail = reinterpret_cast<LONG*>(params.detailWord);
    if (detail) *detail = 0;
    if (m_module) return 0;

    // The configured directory ends with its own separator; an empty one lets the module
    // search find the bare file name.
    char path[260] = {};
    size_t dirLength = strlen(directory), fileLength = strlen(fileName);
    if (dirLength + fileLength >= sizeof(path)) {
        if (detail) *detail = kPortDetailLoadFailed;
        return ERROR_FILENAME_EXCED_RANGE;
    }
    memcpy(path, directory, dirLength);
    memcpy(path + dirLength, fileName, fileLength);

    m_module.reset(LoadLibraryA(path));
    if (!m_module) {
        if (detail) *detail = kPortDetailLoadFailed;
        return static_cast<LONG>(GetLastError());
    }
    m_pfnInit = fw::GetProc<PortInitFn>(m_module.get(), "Init");
    if (m_pfnInit == nullptr) {
        LONG error = static_cast<LONG>(GetLastError());
        Free();
        if (detail) *detail = kPortDetailNoInit;
        return error;
    }
    m_pfnTerm = fw::GetProc<PortTermFn>(m_module.get(), "Term");
    if (m_pfnTerm == nullptr) {
        LONG error = static_cast<LONG>(GetLastError());
        Free();
        if (detail) *detail = kPortDetailNoTerm;
        return error;
    }
    LONG initDetail = 0;
    m_hPort = m_pfnInit(&m_pfnRequest, &initDetail);
    if (m_hPort == 0 || m_pfnRequest == nullptr) {
        Free();
        if (detail) *detail = initDetail;
        return kPortResultInitFailed;
    }
    PortOpenRequest request;
    request.code = kPortOpen;
    request.params = params;
    LONG result = m_pfnRequest(m_hPort, reinterpret_cast<PortWord*>(&request));
    if (result != 0) {
        m_pfnTerm(m_hPort);
        Free();
    }
    return result;
}

LONG CPortLibrary::Unload() {
    if (!m_module) return kPortResultNotLoaded;
    PortWord close[] = {kPortClose};
    m_pfnRequest(m_hPort, close);
    m_pfnTerm(m_hPort);
    Free();
    return 0;
}

LONG CPortLibrary::Request(PortWord* words) {
    if (!m_module) return kPortResultNotLoaded;
    return m_pfnRequest(m_hPort, words);
}

LONG CPortLibrary::Read(void* buffer, DWORD count, DWORD* got) {
    PortWord r[] = {kPortRead, Word(buffer), count, Word(got), 0};
    return Request(r);
}

LONG CPortLibrary::Write(const void* buffer, DWORD count, DWORD* written) {
    PortWord r[] = {kPortWrite, Word(buffer), count, Word(written), 0};
    return Request(r);
}

LONG CPortLibrary::WaitEvent(DWORD* mask, OVERLAPPED* overlapped) {
    PortWord r[] = {kPortWaitEvent, Word(mask), Word(overlapped)};
    return Request(r);
}

LONG CPortLibrary::Purge(DWORD flags) {
    PortWord r[] = {kPortPurge, flags};
    return Request(r);
}

LONG CPortLibrary::ClearError(DWORD* errors, COMSTAT* status) {
    PortWord r[] = {kPortClearError, Word(errors), Word(status)};
    return Request(r);
}

LONG CPortLibrary::GetModemStatus(DWORD* status) {
    PortWord r[] = {kPortGetModemStatus, Word(status)};
    return Request(r);
}

LONG CPortLibrary::SetEventMask(DWORD mask) {
    PortWord r[] = {kPortSetEventMask, mask};
    return Request(r);
}

LONG CPortLibrary::LineError(const char* text, DWORD value) {
    PortWord r[] = {kPortLineError, Word(text), value};
    return Request(r);
}
