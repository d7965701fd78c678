// The command line of `cdctl ras` and the DirectIO step each command becomes.
#include "tools/cdctl/ras_script.h"

#include <charconv>
#include <cstring>

#include "ras/counter_text.h"
#include "ras/ras_rules.h"
#include "tools/cdctl/cdctl_text.h"

namespace cdctl {

namespace {

// The name of the service's one reliability counter, blank-padded to 28 characters.
constexpr char kDrawerOpenCounterName[] = "DrawerOpenCount             ";

bool ParseCounterMode(const std::string& word, int32_t* mode) {
    const char* const names[] = {"disable", "memory", "file", nullptr};
    for (int32_t m = 0; m < 4; ++m) {
        if ((names[m] && Lower(word) == names[m]) || word == std::to_string(m)) {
            *mode = m;
            return true;
        }
    }
    return false;
}

Step DirectIOStep(int32_t command, int32_t data, const std::string& text = "") {
    Step step;
    step.kind = StepKind::DirectIO;
    step.numbers = {command, data};
    step.text = text;
    step.written = "directio:" + std::to_string(command) + "," + std::to_string(data) +
                   (text.empty() ? "" : ",...");
    return step;
}

}  // namespace

bool ParseEventLogLevel(const std::string& word, int32_t* level) {
    const std::string w = Lower(word);
    const bool verbose = w.compare(0, 7, "verbose") == 0;
    int32_t n = 0;
    if (w == "disable" || w == "enable") {
        *level = w == "enable";
        return true;
    }
    if (!ParseInt32(verbose ? w.substr(7) : w, &n) || n < (verbose ? 1 : 0) ||
        n > (verbose ? 999 : 1000)) {
        return false;
    }
    *level = verbose ? n + 1 : n;
    return true;
}

const char* RasUsage() {
    return "usage: cdctl ras NAME level [LEVEL [--store]]\n"
           "       cdctl ras NAME counter [set N | clear | mode MODE [FILE] [--store]]\n"
           "       cdctl ras NAME save [FILE]\n"
           "       cdctl ras NAME load FILE\n"
           "Reads and changes the reliability records of the device NAME through DirectIO\n"
           "110 to 115, on a session of its own.\n"
           "  level                 show the event-log level (DirectIO 111)\n"
           "  level LEVEL           set it: Disable, Enable, VerboseN or a number (110)\n"
           "  counter               show the counter mode, file and drawer-open counter\n"
           "  counter set N | clear set the drawer-open counter, or set it to 0 (114)\n"
           "  counter mode MODE     Disable, Memory or File [FILE] (112)\n"
           "  save [FILE]           write the counter file now, or the text to FILE (115)\n"
           "  load FILE             set the counter from FILE (114)\n"
           "  --store               also write the setting to the registry (bit 31)\n"
           "Exit status: 0 done; the OPOS result of a refused command; 1 the object could\n"
           "not be reached; 2 bad usage.\n";
}

ArgsResult ParseRasArgs(int argc, const char* const* argv, RasArgs* out, std::string* error) {
    std::vector<std::string> words;
    RasArgs args;
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return ArgsResult::Help;
        if (strcmp(argv[i], "--store") == 0) {
            args.store = true;
        } else {
            words.push_back(argv[i]);
        }
    }
    auto fail = [&](const std::string& why) {
        *error = why;
        return ArgsResult::Error;
    };
    if (words.size() < 2)
        return fail(words.empty() ? "NAME and a command are missing" : "the command is missing");
    args.device = words[0];
    if (!ValidDeviceName(args.device, error)) return ArgsResult::Error;
    const std::string& verb = words[1];
    const std::string sub = words.size() > 2 ? words[2] : "";
    const size_t extra = words.size() - 2;
    if (verb == "level") {
        if (extra > 1) return fail("level takes at most one LEVEL");
        args.action = extra == 0 ? RasAction::ShowLevel : RasAction::SetLevel;
        if (extra == 1 && !ParseEventLogLevel(sub, &args.value)) {
            return fail("'" + sub +
                        "' is not a level: Disable, Enable, VerboseN (N from 1) or a number");
        }
    } else if (verb == "counter" && extra == 0) {
        args.action = RasAction::ShowCounter;
    } else if (verb == "counter" && sub == "set") {
        const std::string n = extra == 2 ? words[3] : "";
        uint32_t value = 0;
        const auto r = std::from_chars(n.data(), n.data() + n.size(), value);
        if (n.empty() || r.ec != std::errc() || r.ptr != n.data() + n.size()) {
            return fail("counter set takes one number from 0 to 4294967295");
        }
        args.action = RasAction::SetCounter;
        args.value = static_cast<int32_t>(value);
    } else if (verb == "counter" && sub == "clear" && extra == 1) {
        args.action = RasAction::ClearCounter;
    } else if (verb == "counter" && sub == "mode") {
        if (extra < 2 || extra > 3 || !ParseCounterMode(words[3], &args.value)) {
            return fail("counter mode takes Disable, Memory or File (File may name a FILE)");
        }
        args.action = RasAction::SetMode;
        if (extra == 3 && args.value != 2 && args.value != 3) {
            return fail("only the File mode takes a FILE");
        }
        if (extra == 2 && args.value == 3) {
            return fail("mode 3 names its counter file: counter mode File FILE");
        }
        if (extra == 3) {
            args.file = words[4];
            args.value = 3;
        }
    } else if (verb == "save" && extra <= 1) {
        args.action = RasAction::Save;
        args.file = sub;
    } else if (verb == "load" && extra == 1) {
        args.action = RasAction::Load;
        args.file = sub;
    } else {
        return fail("unknown command '" + verb + (extra ? " " + sub : "") +
                    "' (level, counter [set N|clear|mode MODE], save [FILE] or load FILE)");
    }
    if (args.store && args.action != RasAction::SetLevel && args.action != RasAction::SetMode) {
        return fail("--store goes with 'level LEVEL' and 'counter mode MODE' only");
    }
    *out = std::move(args);
    return ArgsResult::Ok;
}

Step CounterTextStep() {
    return DirectIOStep(kRasCmdSaveCounters, 1);
}

Step RasStep(const RasArgs& args) {
    const int32_t storeBit = args.store ? static_cast<int32_t>(kRasStoreInRegistry) : 0;
    switch (args.action) {
        case RasAction::ShowLevel:
            return DirectIOStep(kRasCmdGetEventLogLevel, 0);
        case RasAction::SetLevel:
            return DirectIOStep(kRasCmdSetEventLogLevel, args.value | storeBit);
        case RasAction::ShowCounter:
            return DirectIOStep(kRasCmdGetStatisticsMode, 0);
        case RasAction::SetCounter:
            return DirectIOStep(
                kRasCmdLoadCounters, 1,
                FormatCounterLine(kDrawerOpenCounterName, static_cast<uint32_t>(args.value)));
        case RasAction::ClearCounter:
            return DirectIOStep(kRasCmdLoadCounters, 0);
        case RasAction::SetMode:
            return DirectIOStep(kRasCmdSetStatisticsMode, args.value | storeBit, args.file);
        case RasAction::Save:
            return DirectIOStep(kRasCmdSaveCounters, args.file.empty() ? 0 : 2, args.file);
        case RasAction::Load:
            return DirectIOStep(kRasCmdLoadCounters, 2, args.file);
    }
    return {};
}

}  // namespace cdctl
