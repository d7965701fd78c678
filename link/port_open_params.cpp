// The service's open request parameters.
#include "link/port_open_params.h"

#include <cstring>

namespace {

template <class T>
PortWord Word(T value) {
    return (PortWord)(value);
}

}  // namespace

void FillPortOpenParams(const PortOpenSources& s, PortOpenParams* params) {
    const PortWord timeouts[5] = {10, 0, 50, 0, 100};
    const struct {
        DcbMember member;
        PortWord value;
    } prescribed[] = {
        {kDcbBinary, 1},         {kDcbOutxCtsFlow, 0}, {kDcbOutxDsrFlow, 0}, {kDcbDtrControl, 1},
        {kDcbDsrSensitivity, 0}, {kDcbOutX, 0},        {kDcbInX, 0},         {kDcbNull, 0},
        {kDcbRtsControl, 1},     {kDcbEvtChar, 0},
    };
    const DeviceConfig& c = *s.config;
    PortOpenParams& p = *params;
    memset(&p, 0, sizeof(p));
    p.path = Word(s.path->c_str());
    p.dllName = Word(c.portDll.c_str());
    p.port = Word(c.port.c_str());
    p.deviceName = Word(s.deviceName->c_str());
    p.moduleName = Word("BRAMWICK");
    p.eventLogPortName = Word(c.eventLogPortName.c_str());
    p.deviceDescription = Word(s.deviceDescription->c_str());
    p.eventLogMode = static_cast<PortWord>(c.eventLogMode);
    p.statusRequestEvent = Word(s.statusRequest);
    p.cancelWaitEvent = Word(s.cancelWait);
    p.restartHardwareId = Word(c.restartHardwareId.c_str());
    p.restartCount = static_cast<PortWord>(c.restartCount);
    p.restartTimeout = static_cast<PortWord>(c.restartTimeout);
    p.eventMask = kPortEventMask;
    memcpy(p.timeouts, timeouts, sizeof(timeouts));
    p.inputQueueSize = 128;
    p.outputQueueSize = 128;
    p.settings = Word(c.portInitializeString.c_str());
    for (const auto& d : prescribed) p.dcb[d.member] = {1, d.value};
    p.dllMode = static_cast<PortWord>(c.dllMode);
    p.detailWord = Word(s.detail);
}
