// "cdctl ras": opens the device, runs the DirectIO steps of the command and words the answer.
#include "tools/cdctl/commands.h"

#include <iostream>

#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/cmd_session.h"
#include "tools/cdctl/ras_script.h"
#include "util/opos_constants.h"

using namespace cdctl;

namespace {

void PrintCounters(const std::string& text) {
    const auto lines = SplitCounterText(text);
    if (lines.empty()) std::cout << "counter text " << Quoted(text) << "\n";
    for (const auto& line : lines) std::cout << line.first << " " << line.second << "\n";
}

const char* StoredNote(bool store) {
    return store ? ", also stored in the registry"
                 : ", until the last program closes the device (--store keeps it)";
}

// The command that switches the counter on for good: the File mode, stored in the registry.
// (The Memory mode lasts only while some program has the device open, and cdctl closes it
// when it ends.)
std::string CounterOnCommand(const RasArgs& args) {
    return "cdctl ras " + args.device + " counter mode File --store";
}

// What a refusal (106) most likely means for this command, and what to do about it.
void Hint(const RasArgs& args, int32_t result) {
    if (result != OPOS_E_ILLEGAL) return;
    const std::string off =
        "the counter is off (Disable mode); switch it on with " + CounterOnCommand(args);
    std::cerr << "hint: ";
    switch (args.action) {
        case RasAction::SetLevel:
            std::cerr << "levels above VerboseLimit + 1 are refused; raise VerboseLimit (cdctl "
                         "setup add "
                      << args.device << " VerboseLimit=N)";
            break;
        case RasAction::SetCounter:
        case RasAction::ClearCounter:
            std::cerr << off;
            break;
        case RasAction::Save:
            std::cerr << off;
            if (args.file.empty()) {
                std::cerr << "; in the Memory mode there is no counter file: name one (cdctl ras "
                          << args.device << " save FILE)";
            }
            break;
        case RasAction::Load:
            std::cerr << "the file must hold counter lines of exactly 40 characters: the name "
                         "padded to 28, the value right-aligned in 10, CR LF, as in "
                         "\"DrawerOpenCount                      5\"; or "
                      << off;
            break;
        case RasAction::SetMode:
            std::cerr << "the counter modes are Disable, Memory and File [FILE]";
            break;
        case RasAction::ShowLevel:
        case RasAction::ShowCounter:
            std::cerr << "the service refused to read its reliability settings (DirectIO "
                         "111, 113)";
            break;
    }
    std::cerr << "\n";
}

}  // namespace

int RunRasCommand(int argc, char** argv) {
    RasArgs args;
    std::string error;
    switch (ParseRasArgs(argc, argv, &args, &error)) {
        case ArgsResult::Help:
            std::cout << RasUsage();
            return kExitOk;
        case ArgsResult::Error:
            std::cerr << "cdctl ras: " << error << "\n" << RasUsage();
            return kExitBadScript;
        case ArgsResult::Ok:
            break;
    }
    Session::Options options;
    options.narrate = false;
    options.who = "cdctl ras";
    Session session(args.device, options);
    if (!session.Start()) return kExitCannotRun;
    std::vector<Step> steps;
    ParseScript({"open"}, &steps, &error);
    steps.push_back(RasStep(args));
    std::vector<StepReport> reports;
    int code = session.RunAll(steps, &reports);
    if (code != kExitOk) {
        if (reports.size() == 2) Hint(args, reports.back().result);
        return code;
    }
    const StepReport& r = reports.back();
    switch (args.action) {
        case RasAction::ShowLevel:
            std::cout << "event-log level " << DescribeEventLogLevel(r.data) << "\n";
            break;
        case RasAction::SetLevel:
            std::cout << "event-log level set to " << DescribeEventLogLevel(args.value)
                      << StoredNote(args.store) << "\n";
            break;
        case RasAction::ShowCounter: {
            std::cout << "counter mode " << DescribeCounterMode(r.data) << "\n";
            if (r.data == 2 || r.data == 3) std::cout << "counter file " << r.text << "\n";
            if (r.data == 0) {
                std::cout << "the counter is off; to keep it from now on: "
                          << CounterOnCommand(args) << "\n";
                break;
            }
            StepReport text;
            code = session.Run(CounterTextStep(), &text);
            if (code != kExitOk) return code;
            PrintCounters(text.text);
            break;
        }
        case RasAction::SetCounter:
        case RasAction::ClearCounter:
            std::cout << "DrawerOpenCount set to " << static_cast<uint32_t>(args.value) << "\n";
            break;
        case RasAction::SetMode:
            std::cout << "counter mode set to " << DescribeCounterMode(args.value);
            if (!args.file.empty()) std::cout << ", file " << args.file;
            std::cout << StoredNote(args.store) << "\n";
            break;
        case RasAction::Save:
            if (args.file.empty()) {
                std::cout << "counter file written\n";
            } else {
                std::cout << "counter text written to " << args.file << "\n";
            }
            break;
        case RasAction::Load:
            std::cout << "counter loaded from " << args.file << "\n";
            break;
    }
    session.Finish();
    return kExitOk;
}
