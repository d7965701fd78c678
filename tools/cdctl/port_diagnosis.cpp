// Wording of the port check.
#include "tools/cdctl/port_diagnosis.h"

#include "link/port_codes.h"
#include "ports/open_step.h"
#include "ports/port_settings.h"
#include "tools/cdctl/cdctl_text.h"

namespace cdctl {
namespace {

std::string Error(const PortFacts& f, int32_t code) {
    return "error " + std::to_string(code) + (f.errorText.empty() ? "" : " (" + f.errorText + ")");
}

bool IsSimulator(const std::string& port) {
    std::string name;
    return ports::ClassifyPort(port.c_str(), &name) != ports::PortKind::Serial;
}

// The cause of a refused open request, from the step and error our library reports.
std::string StepCause(const PortFacts& f, int32_t step, int32_t error) {
    const std::string port = Quoted(f.port);
    switch (step) {
        case ports::kStagePortName:
            if (f.port.empty()) {
                return "the device has no Port (cdctl setup add " + f.deviceName +
                       " Port=COM3, or Port=SIM1 for the simulator)";
            }
            if (f.port.size() > ports::kMaxSimNameLength) {
                return "the simulator name " + port + " in Port is longer than " +
                       std::to_string(ports::kMaxSimNameLength) + " characters";
            }
            return "the simulator name " + port +
                   " in Port may hold only letters, digits, _ and - after SIM";
        case ports::kStageDevice:
            if (error == 2 || error == 3 || error == 123 || error == 161) {
                return "there is no port " + f.port + " on this machine (Port)";
            }
            if (error == 5 && IsSimulator(f.port)) {
                return "the simulated controller " + f.port +
                       " is open in another program (one port at a time)";
            }
            if (error == 5) {
                return "the port " + f.port +
                       " is in use by another program, or access to it is denied";
            }
            return "the port " + f.port + " cannot be opened: " + Error(f, error);
        case ports::kStageSettings:
            return "Port_Initialize_String " + Quoted(f.settings) + " is not a valid setting for " +
                   f.port +
                   ": baud rate, parity (N, E, O, M or S), data bits (5 to 8) and stop bits (1, "
                   "1.5 or 2), as in 19200,N,8,1";
        case ports::kStageState:
            return "the state file of the simulated controller " + f.port +
                   " cannot be used: " + Error(f, error) +
                   " (%ProgramData%\\Bramwick\\Sim, or BRAMWICK_SIM_DIR)";
        case ports::kStageThread:
            return "the port library cannot start a thread: " + Error(f, error);
        default:
            return "the port " + f.port + " does not accept its set-up (" +
                   ports::OpenStepOperation(step, 1) + "): " + Error(f, error) +
                   "; a driver problem";
    }
}

std::string Cause(const PortFacts& f) {
    const std::string library = Quoted(f.library);
    if (f.tooLong) {
        return "Path and PortDll together are longer than 259 characters, too long for the "
               "service";
    }
    if (!f.separated.empty()) {
        return "Path " + Quoted(f.path) + " does not end with a backslash: the service looks for " +
               library + ", while the library is " + Quoted(f.separated) + " (cdctl setup add " +
               f.deviceName + " \"Path=" + f.path + "\" adds it)";
    }
    if (!f.located) {
        if (f.path.empty()) {
            return "the port library " + Quoted(f.dll) +
                   " is not on the module search path, and Path (the maker's key) is empty";
        }
        return "the port library " + library + " does not exist (Path and PortDll)";
    }
    if (!f.tried) return "";
    if (f.result == 0) {
        if (!f.openFailed) return "";
        return "the port library loads and the port opens: the drawer did not answer the "
               "status command within Command_Timeout (controller power and cable, "
               "Port_Initialize_String), or another program's service holds the port";
    }
    switch (f.detail) {
        case kPortDetailLoadFailed:
            if (f.result == 193) {
                return "the port library " + library + " does not load in a " +
                       std::to_string(f.bits) + "-bit process (" + Error(f, f.result) +
                       "): it is the library of the other bitness";
            }
            return "the port library " + library + " does not load: " + Error(f, f.result);
        case kPortDetailNoInit:
        case kPortDetailNoTerm:
            return library + " is not a port library: it has no \"" +
                   (f.detail == kPortDetailNoInit ? "Init" : "Term") + "\" entry point";
        default:
            break;
    }
    if (f.result == kPortResultInitFailed) {
        return "the port library's \"Init\" failed (detail " + std::to_string(f.detail) + ")";
    }
    const int32_t step = ports::OpenFailureStep(f.detail);
    if (ports::OpenStepOperation(step, 1) != nullptr) {
        return StepCause(f, step, ports::OpenFailureError(f.detail));
    }
    return "the port library refused to open the port: " + Error(f, f.result);
}

}  // namespace

std::vector<CheckLine> DescribePortCheck(const PortFacts& f) {
    std::vector<CheckLine> lines;
    std::string state;
    if (f.tooLong) {
        state = "too long";
    } else if (!f.located) {
        state = "not found";
    } else if (!f.tried) {
        state = "exists; not loaded: this cdctl is " + std::to_string(f.bits) +
                "-bit and the view is " + f.otherView + " (use the cdctl of that bitness)";
    } else if (f.result != 0 && f.detail == kPortDetailLoadFailed) {
        state = "exists, does not load in this " + std::to_string(f.bits) + "-bit process";
    } else {
        state = "exists, loads in this " + std::to_string(f.bits) + "-bit process";
    }
    lines.push_back({"port library", Quoted(f.library) + ", " + state});
    const int32_t step = ports::OpenFailureStep(f.detail);
    const char* operation = ports::OpenStepOperation(step, 1);
    if (f.tried && f.result == 0) {
        lines.push_back({"port open", f.port + " opens (and was closed again)"});
    } else if (f.tried && operation != nullptr) {
        lines.push_back({"port open", "refused at step " + std::to_string(step) + " (" + operation +
                                          "): " + Error(f, ports::OpenFailureError(f.detail))});
    }
    const std::string cause = Cause(f);
    if (!cause.empty()) lines.push_back({"cause", cause});
    return lines;
}

}  // namespace cdctl
