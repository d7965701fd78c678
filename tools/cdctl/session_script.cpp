// Session scripts: parsing steps and command lines, expectations and exit codes.
#include "tools/cdctl/session_script.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "tools/cdctl/cdctl_text.h"
#include "util/opos_constants.h"

namespace cdctl {

namespace {

constexpr int32_t kMaxWaitMs = 3600000;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int kFreeText = -1;  // maxArgs of a step whose argument is a text, '=' and ',' included

// What a step takes after its colon: minArgs to maxArgs decimal numbers, the first of them
// from low to high, the others any; or a free text.
struct StepRule {
    const char* name;
    StepKind kind;
    int minArgs, maxArgs;
    int32_t low, high;
    const char* usage;  // for a step written with the wrong arguments
};

const StepRule kSteps[] = {
    {"open", StepKind::Open, 0, 0, 0, 0, "takes no argument"},
    {"close", StepKind::Close, 0, 0, 0, 0, "takes no argument"},
    {"claim", StepKind::Claim, 1, 1, -1, kMaxWaitMs,
     "takes the time-out in milliseconds (claim:1000; -1 waits forever)"},
    {"release", StepKind::Release, 0, 0, 0, 0, "takes no argument"},
    {"enable", StepKind::Enable, 0, 0, 0, 0, "takes no argument"},
    {"disable", StepKind::Disable, 0, 0, 0, 0, "takes no argument"},
    {"opendrawer", StepKind::OpenDrawer, 0, 0, 0, 0, "takes no argument"},
    {"waitclose", StepKind::WaitClose, 4, 4, kMin, kMax,
     "takes four numbers: waitclose:TIMEOUT,FREQUENCY,DURATION,DELAY"},
    {"health", StepKind::Health, 1, 1, kMin, kMax, "takes the level: health:1, 2 or 3"},
    {"stats", StepKind::Stats, 0, kFreeText, 0, 0, ""},
    {"resetstats", StepKind::ResetStats, 0, kFreeText, 0, 0, ""},
    {"updatestats", StepKind::UpdateStats, 0, kFreeText, 0, 0, ""},
    {"directio", StepKind::DirectIO, 1, 3, kMin, kMax,
     "takes CMD[,DATA[,TEXT]] with CMD and DATA numbers (DATA may be 0x...)"},
    {"freeze", StepKind::Freeze, 1, 1, 0, 1, "takes on or off"},
    {"cofreeze", StepKind::CoFreeze, 1, 1, 0, 1, "takes on or off"},
    {"props", StepKind::Props, 0, 0, 0, 0, "takes no argument"},
    {"sleep", StepKind::Sleep, 1, 1, 0, kMaxWaitMs, "takes milliseconds from 0 to 3600000"},
    {"wait-events", StepKind::WaitEvents, 1, 2, 1, 100000,
     "takes the number of events and at most how long to wait: wait-events:N or "
     "wait-events:N,MS (N from 1, MS up to 3600000, default 10000)"},
};

constexpr int32_t kDefaultEventWaitMs = 10000;

// DirectIO: CMD and DATA (either may be hexadecimal), then everything after the second comma
// is the text, commas and '=' included.
bool ParseDirectIO(const std::string& args, Step& step, std::string* error) {
    const size_t first = args.find(',');
    const size_t second = first == std::string::npos ? first : args.find(',', first + 1);
    int32_t command = 0, data = 0;
    if (!ParseInt32(args.substr(0, first), &command, true) ||
        (first != std::string::npos &&
         !ParseInt32(args.substr(first + 1, second - first - 1), &data, true))) {
        return false;
    }
    step.numbers = {command, data};
    if (second != std::string::npos && !UnescapeText(args.substr(second + 1), &step.text, error)) {
        *error = "directio text: " + *error;
    }
    return true;
}

bool ParseNumbers(const StepRule& rule, const std::vector<std::string>& parts, Step& step) {
    const int count = static_cast<int>(parts.size());
    if (count < rule.minArgs || count > rule.maxArgs) return false;
    for (std::string part : parts) {
        if (rule.kind == StepKind::Freeze || rule.kind == StepKind::CoFreeze) {
            part = Lower(part) == "on" ? "1" : Lower(part) == "off" ? "0" : part;
        }
        int32_t v = 0;
        if (!ParseInt32(part, &v)) return false;
        step.numbers.push_back(v);
    }
    if (!step.numbers.empty() && (step.numbers[0] < rule.low || step.numbers[0] > rule.high)) {
        return false;
    }
    if (step.kind == StepKind::WaitEvents) {
        if (step.numbers.size() == 1) step.numbers.push_back(kDefaultEventWaitMs);
        return step.numbers[1] >= 0 && step.numbers[1] <= kMaxWaitMs;
    }
    return true;
}

}  // namespace

bool ParseResultCode(const std::string& text, int32_t* code) {
    if (ParseInt32(text, code)) return true;
    const std::string wanted = Lower(text);
    for (int32_t c = 0; c <= 255 && !wanted.empty(); ++c) {
        const char* name = OposResultName(c);
        if (name != nullptr && (wanted == Lower(name) || wanted == Lower(name + 5))) {
            *code = c;
            return true;
        }
    }
    return false;
}

bool UnescapeText(const std::string& text, std::string* out, std::string* error) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
        } else if (text.compare(i, 2, "%%") == 0) {
            result += '%';
            ++i;
        } else {
            int32_t value = 0;
            const std::string digits = text.substr(i + 1, 2);
            if (digits.size() != 2 || !isxdigit(static_cast<unsigned char>(digits[0])) ||
                !ParseInt32("0x" + digits, &value, true)) {
                *error = "% takes two hexadecimal digits (%0D%0A is CR LF; %% is a percent sign)";
                return false;
            }
            result += static_cast<char>(value);
            i += 2;
        }
    }
    *out = std::move(result);
    return true;
}

bool ParseStep(const std::string& word, Step* out, std::string* error) {
    const size_t colon = word.find(':');
    const std::string name = Lower(word.substr(0, colon));
    const StepRule* rule = nullptr;
    for (const StepRule& s : kSteps) {
        if (name == s.name) rule = &s;
    }
    if (rule == nullptr) {
        const size_t eq = name.find('=');
        *error = eq == std::string::npos
                     ? "unknown step '" + word.substr(0, colon) + "'"
                     : "the result a step asks for is a word of its own: " + word.substr(0, eq) +
                           " expect:" + word.substr(eq + 1);
        return false;
    }
    Step step;
    step.kind = rule->kind;
    step.written = word;
    const bool hasArgs = colon != std::string::npos;
    const std::string args = hasArgs ? word.substr(colon + 1) : std::string();
    error->clear();
    bool ok;
    if (rule->maxArgs == kFreeText) {
        step.text = args;
        ok = true;
    } else if (rule->kind == StepKind::DirectIO) {
        ok = hasArgs && ParseDirectIO(args, step, error);
    } else {
        ok = ParseNumbers(*rule, hasArgs ? SplitCommas(args) : std::vector<std::string>(), step);
    }
    if (!error->empty()) return false;
    if (!ok) {
        *error = std::string(rule->name) + " " + rule->usage;
        return false;
    }
    *out = std::move(step);
    return true;
}

bool ParseScript(const std::vector<std::string>& words, std::vector<Step>* out,
                 std::string* error) {
    std::vector<Step> steps;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const std::string where = "step " + std::to_string(i + 1) + " '" + word + "': ";
        if (Lower(word.substr(0, 7)) == "expect:") {
            int32_t code = 0;
            if (steps.empty() || steps.back().expected) {
                *error = where + (steps.empty() ? "expect:CODE must follow the step it belongs to"
                                                : "the step before already has an expect:CODE");
                return false;
            }
            if (!ParseResultCode(word.substr(7), &code)) {
                *error = where + "'" + word.substr(7) +
                         "' is not a result code (a number or an OPOS name such as "
                         "OPOS_E_ILLEGAL)";
                return false;
            }
            steps.back().expected = code;
            continue;
        }
        Step step;
        std::string why;
        if (!ParseStep(word, &step, &why)) {
            *error = where + why;
            return false;
        }
        steps.push_back(std::move(step));
    }
    if (steps.empty()) {
        *error = "no steps given";
        return false;
    }
    *out = std::move(steps);
    return true;
}

int ExitCodeForResult(int32_t result) {
    if (result == 0) return kExitUnexpectedSuccess;
    if (result >= 4 && result <= 255) return result;
    return 255;
}

bool ValidDeviceName(const std::string& name, std::string* error) {
    // Characters, not bytes: the name is UTF-8, and a continuation byte (10xxxxxx) is part of
    // the character before it.
    size_t characters = 0;
    for (char c : name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    for (char c : name) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20) characters = 0;
    }
    if (characters == 0 || characters > 200) {
        *error = "the device name '" + name +
                 "' is empty, longer than 200 characters or holds a backslash or control "
                 "character";
        return false;
    }
    return true;
}

const char* SessionUsage() {
    return "usage: cdctl session [--keep-going] [--progid PROGID] NAME STEP...\n"
           "Opens the device NAME the way a control object does (ProgID from the device key,\n"
           "calls by name through IDispatch, cdctl's own control object receives the events)\n"
           "and runs the steps in order, printing each result and each event as it arrives.\n"
           "steps:\n"
           "  open  close  claim:MS  release  enable  disable  opendrawer\n"
           "  waitclose:TIMEOUT,FREQ,DUR,DELAY     health:LEVEL\n"
           "  stats[:REQUEST]  resetstats[:REQUEST]  updatestats:NAME=VALUE,...\n"
           "  directio:CMD[,DATA[,TEXT]]  (in TEXT %HH is the byte HH, %% a percent sign)\n"
           "  freeze:on|off  cofreeze:on|off  props  sleep:MS  wait-events:N[,MS]\n"
           "Each step asks for OPOS_SUCCESS unless a word expect:CODE follows it\n"
           "(opendrawer expect:OPOS_E_DISABLED, open expect:109).\n"
           "options:\n"
           "  --keep-going     run every step even after an unexpected result\n"
           "  --progid PROGID  create PROGID instead of the one named by the device key\n"
           "Exit status: 0 every step returned what it asked for; else the first unexpected\n"
           "OPOS result (3 for an unexpected OPOS_SUCCESS); 1 the object could not be\n"
           "reached; 2 bad usage.\n";
}

ArgsResult ParseSessionArgs(int argc, const char* const* argv, SessionArgs* out,
                            std::string* error) {
    SessionArgs args;
    int i = 1;
    for (; i < argc; ++i) {
        if (IsHelp(argv[i])) return ArgsResult::Help;
        if (strncmp(argv[i], "--", 2) != 0) break;
        if (strcmp(argv[i], "--keep-going") == 0) {
            args.keepGoing = true;
        } else if (strcmp(argv[i], "--progid") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            args.progId = argv[++i];
        } else {
            *error = std::string("unknown option ") + argv[i] + " (or --progid without a ProgID)";
            return ArgsResult::Error;
        }
    }
    if (i >= argc) {
        *error = "NAME and steps are missing";
        return ArgsResult::Error;
    }
    args.device = argv[i++];
    if (!ValidDeviceName(args.device, error)) return ArgsResult::Error;
    std::vector<std::string> words;
    for (; i < argc; ++i) {
        if (IsHelp(argv[i])) return ArgsResult::Help;
        words.push_back(argv[i]);
    }
    if (!ParseScript(words, &args.steps, error)) return ArgsResult::Error;
    *out = std::move(args);
    return ArgsResult::Ok;
}

}  // namespace cdctl
