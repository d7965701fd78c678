// The port library's event-log record of a refused open request.
#include "ports/open_report.h"

#include <string>

#include "framework/handles.h"
#include "ports/open_step.h"
#include "ports/port_backend.h"
#include "ras/ras_rules.h"
#include "so/device_config.h"

namespace ports {
namespace {

std::wstring Wide(const std::string& text, UINT codePage) {
    if (text.empty()) return std::wstring();
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            n);
    }
    return wide;
}

std::string Text(PortWord word) {
    const char* text = TextOf(word);
    return text != nullptr ? text : "";
}

}  // namespace

void ReportOpenFailure(const PortOpenParams& params, LONG step, LONG error) {
    if (params.eventLogMode == 0) return;
    const int32_t language = LanguageForCodePage(GetACP());
    const char* operation = OpenStepOperation(step, language);
    if (operation == nullptr) return;
    // The service names its event source after its module ("BRAMWICK").
    std::string source = Text(params.moduleName);
    if (source.empty()) source = "BRAMWICK";
    fw::UniqueEventSource log(RegisterEventSourceW(nullptr, Wide(source, CP_ACP).c_str()));
    if (!log) return;
    // %1 and %2 as the service's own records of the same open have them: the port, then the
    // OPOS device name followed by the language's "Cash Drawer". The service's texts are ANSI;
    // the operation texts are UTF-8 in our source.
    const std::string device =
        DeviceInsert(Text(params.deviceName), OperationTextFor(kOpCashDrawer, language));
    const std::wstring strings[] = {Wide(PortInsert(Text(params.eventLogPortName)), CP_ACP),
                                    Wide(device, CP_ACP), Wide(operation, CP_UTF8)};
    LPCWSTR inserts[] = {strings[0].c_str(), strings[1].c_str(), strings[2].c_str()};
    DWORD data = static_cast<DWORD>(error);
    ReportEventW(log.get(), EVENTLOG_ERROR_TYPE, 0, kRasMsgOperationFailed, nullptr, 3,
                 sizeof(data), inserts, &data);
}

}  // namespace ports
