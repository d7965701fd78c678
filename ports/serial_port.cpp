// The serial backend: the port's requests map one to one onto the Win32 communications calls.
// The handle is overlapped so that the service's wait for a line event (WaitCommEvent on the
// caller's own OVERLAPPED block) can be pending while the other threads read and write; reads
// and writes wait for their own completion, so to the caller they are synchronous. The driver
// itself completes a pending wait with mask 0 when the event mask changes.
// The driver records EV_RXCHAR only when a byte arrives under a mask that asks for it; bytes
// that came while the service's reader had set mask 0 would wait for the next byte. So a wait
// under a mask with EV_RXCHAR first looks at the input queue and, with bytes there, completes
// at once with EV_RXCHAR.
#include <atomic>
#include <mutex>

#include "ports/win_sync.h"

#include "framework/handles.h"
#include "framework/sync.h"
#include "ports/port_backend.h"

namespace ports {
namespace {

// Applies the members the service prescribes (set flag non-zero) over the settings text's DCB.
void ApplyDcbChanges(const DcbChange* c, DCB* d) {
    auto has = [c](DcbMember m) { return c[m].set != 0; };
    auto bits = [c](DcbMember m, PortWord mask) { return static_cast<DWORD>(c[m].value & mask); };
    if (has(kDcbBaudRate)) d->BaudRate = bits(kDcbBaudRate, 0xFFFFFFFF);
    if (has(kDcbBinary)) d->fBinary = bits(kDcbBinary, 1);
    if (has(kDcbParity)) d->fParity = bits(kDcbParity, 1);
    if (has(kDcbOutxCtsFlow)) d->fOutxCtsFlow = bits(kDcbOutxCtsFlow, 1);
    if (has(kDcbOutxDsrFlow)) d->fOutxDsrFlow = bits(kDcbOutxDsrFlow, 1);
    if (has(kDcbDtrControl)) d->fDtrControl = bits(kDcbDtrControl, 3);
    if (has(kDcbDsrSensitivity)) d->fDsrSensitivity = bits(kDcbDsrSensitivity, 1);
    if (has(kDcbTXContinueOnXoff)) d->fTXContinueOnXoff = bits(kDcbTXContinueOnXoff, 1);
    if (has(kDcbOutX)) d->fOutX = bits(kDcbOutX, 1);
    if (has(kDcbInX)) d->fInX = bits(kDcbInX, 1);
    if (has(kDcbErrorChar)) d->fErrorChar = bits(kDcbErrorChar, 1);
    if (has(kDcbNull)) d->fNull = bits(kDcbNull, 1);
    if (has(kDcbRtsControl)) d->fRtsControl = bits(kDcbRtsControl, 3);
    if (has(kDcbAbortOnError)) d->fAbortOnError = bits(kDcbAbortOnError, 1);
    if (has(kDcbDummy2)) d->fDummy2 = bits(kDcbDummy2, 0x1FFFF);
    if (has(kDcbReserved)) d->wReserved = static_cast<WORD>(bits(kDcbReserved, 0xFFFF));
    if (has(kDcbXonLim)) d->XonLim = static_cast<WORD>(bits(kDcbXonLim, 0xFFFF));
    if (has(kDcbXoffLim)) d->XoffLim = static_cast<WORD>(bits(kDcbXoffLim, 0xFFFF));
    if (has(kDcbByteSize)) d->ByteSize = static_cast<BYTE>(bits(kDcbByteSize, 0xFF));
    if (has(kDcbParityValue)) d->Parity = static_cast<BYTE>(bits(kDcbParityValue, 0xFF));
    if (has(kDcbStopBits)) d->StopBits = static_cast<BYTE>(bits(kDcbStopBits, 0xFF));
    if (has(kDcbXonChar)) d->XonChar = static_cast<char>(bits(kDcbXonChar, 0xFF));
    if (has(kDcbXoffChar)) d->XoffChar = static_cast<char>(bits(kDcbXoffChar, 0xFF));
    if (has(kDcbErrorCharValue)) d->ErrorChar = static_cast<char>(bits(kDcbErrorCharValue, 0xFF));
    if (has(kDcbEofChar)) d->EofChar = static_cast<char>(bits(kDcbEofChar, 0xFF));
    if (has(kDcbEvtChar)) d->EvtChar = static_cast<char>(bits(kDcbEvtChar, 0xFF));
    if (has(kDcbReserved1)) d->wReserved1 = static_cast<WORD>(bits(kDcbReserved1, 0xFFFF));
}

class SerialPort final : public PortBackend {
public:
    LONG Open(const PortOpenParams& p, LONG* stage) override {
        std::string path = TextOf(p.port);
        if (path.compare(0, 2, "\\\\") != 0) path = "\\\\.\\" + path;  // COM10 and up need it
        m_file.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (!m_file) return Fail(stage, kStageDevice);
        if (!m_readDone.Create(true, false) || !m_writeDone.Create(true, false)) {
            return Fail(stage, kStageDevice);
        }
        const HANDLE h = m_file.get();
        if ((p.inputQueueSize != 0 || p.outputQueueSize != 0) &&
            !SetupComm(h, static_cast<DWORD>(p.inputQueueSize),
                       static_cast<DWORD>(p.outputQueueSize))) {
            return Fail(stage, kStageQueues);
        }
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        const char* settings = p.settings != 0 ? TextOf(p.settings) : kDefaultSettings;
        if (!GetCommState(h, &dcb) || !BuildCommDCBA(settings, &dcb)) {
            return Fail(stage, kStageSettings);
        }
        ApplyDcbChanges(p.dcb, &dcb);
        if (!SetCommState(h, &dcb)) return Fail(stage, kStageSettings);
        COMMTIMEOUTS timeouts = TimeoutsOf(p);
        if (!SetCommTimeouts(h, &timeouts)) return Fail(stage, kStageTimeouts);
        if (!SetCommMask(h, static_cast<DWORD>(p.eventMask))) return Fail(stage, kStageEventMask);
        m_mask = static_cast<DWORD>(p.eventMask);
        return 0;
    }

    void Close() override { m_file.reset(); }

    LONG Read(void* buffer, DWORD count, DWORD* got) override {
        std::lock_guard<SrwLock> lock(m_readLock);
        OVERLAPPED ov{};
        ov.hEvent = m_readDone.get();
        if (!ReadFile(m_file.get(), buffer, count, nullptr, &ov) &&
            GetLastError() != ERROR_IO_PENDING) {
            return LastErrorResult();
        }
        return GetOverlappedResult(m_file.get(), &ov, got, TRUE) ? 0 : LastErrorResult();
    }

    LONG Write(const void* buffer, DWORD count, DWORD* written) override {
        std::lock_guard<SrwLock> lock(m_writeLock);
        OVERLAPPED ov{};
        ov.hEvent = m_writeDone.get();
        if (!WriteFile(m_file.get(), buffer, count, nullptr, &ov) &&
            GetLastError() != ERROR_IO_PENDING) {
            return LastErrorResult();
        }
        return GetOverlappedResult(m_file.get(), &ov, written, TRUE) ? 0 : LastErrorResult();
    }

    // The caller's own block: the driver writes the mask word and then sets the block's event,
    // which is exactly what the service waits for.
    LONG WaitEvent(DWORD* mask, OVERLAPPED* ov) override {
        if (mask == nullptr || ov == nullptr || ov->hEvent == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        ResetEvent(ov->hEvent);
        if ((m_mask & EV_RXCHAR) != 0 && BytesQueued()) {
            *mask = EV_RXCHAR;
            ov->Internal = 0;
            ov->InternalHigh = sizeof(DWORD);
            SetEvent(ov->hEvent);
            return 0;
        }
        if (WaitCommEvent(m_file.get(), mask, ov)) {
            SetEvent(ov->hEvent);  // completed at once: make sure the waiter sees it
            return 0;
        }
        return GetLastError() == ERROR_IO_PENDING ? 0 : LastErrorResult();
    }

    LONG Purge(DWORD flags) override {
        return PurgeComm(m_file.get(), flags) ? 0 : LastErrorResult();
    }
    LONG ClearError(DWORD* errors, COMSTAT* status) override {
        DWORD now = 0;
        if (!ClearCommError(m_file.get(), &now, status)) return LastErrorResult();
        if (errors != nullptr) *errors = now | m_heldErrors.exchange(0);
        return 0;
    }
    LONG GetModemStatus(DWORD* status) override {
        return GetCommModemStatus(m_file.get(), status) ? 0 : LastErrorResult();
    }
    LONG SetEventMask(DWORD mask) override {
        if (!SetCommMask(m_file.get(), mask)) return LastErrorResult();
        m_mask = mask;
        return 0;
    }
    LONG LineError() override {
        m_heldErrors = 0;
        return ClearCommError(m_file.get(), nullptr, nullptr) ? 0 : LastErrorResult();
    }

private:
    LONG Fail(LONG* stage, OpenStage at) {
        *stage = at;
        const LONG result = LastErrorResult();
        m_file.reset();
        return result;
    }

    // ClearCommError also clears the error flags: what the look at the queue finds is kept
    // for the caller's next ClearError.
    bool BytesQueued() {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_file.get(), &errors, &status)) return false;
        m_heldErrors |= errors;
        return status.cbInQue != 0;
    }

    fw::UniqueFile m_file;
    std::atomic<DWORD> m_mask{0};        // the mask last set on the handle
    std::atomic<DWORD> m_heldErrors{0};  // error flags cleared by BytesQueued, not yet reported
    SrwLock m_readLock;
    SrwLock m_writeLock;
    fw::Event m_readDone;
    fw::Event m_writeDone;
};

}  // namespace

std::unique_ptr<PortBackend> MakeSerialPort() {
    return std::make_unique<SerialPort>();
}

}  // namespace ports
