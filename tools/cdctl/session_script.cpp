// Session scripts: parsing steps and command lines, expectations and exit codes.
#include "tools/cdctl/session_script.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "ras/counter_text.h"
#include "ras/ras_rules.h"
#include "util/opos_constants.h"

namespace cdctl {

const char kDrawerOpenCounterName[] = "DrawerOpenCount             ";

namespace {

struct StepNameEntry {
    const char* name;
    StepKind kind;
};

const StepNameEntry kStepNames[] = {
    {"open", StepKind::Open},
    {"close", StepKind::Close},
    {"claim", StepKind::Claim},
    {"release", StepKind::Release},
    {"enable", StepKind::Enable},
    {"disable", StepKind::Disable},
    {"opendrawer", StepKind::OpenDrawer},
    {"waitclose", StepKind::WaitClose},
    {"health", StepKind::Health},
    {"stats", StepKind::Stats},
    {"resetstats", StepKind::ResetStats},
    {"updatestats", StepKind::UpdateStats},
    {"directio", StepKind::DirectIO},
    {"freeze", StepKind::Freeze},
    {"cofreeze", StepKind::CoFreeze},
    {"props", StepKind::Props},
    {"sleep", StepKind::Sleep},
    {"wait-events", StepKind::WaitEvents},
};

constexpr int32_t kMaxWaitMs = 3600000;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EqualNoCase(const std::string& a, const char* b) {
    return Lower(a) == Lower(b);
}

bool IsFreeText(StepKind kind) {
    return kind == StepKind::Stats || kind == StepKind::ResetStats || kind == StepKind::UpdateStats;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

bool ParseMs(const std::string& text, int32_t low, int32_t* value) {
    int32_t v = 0;
    if (!ParseInt32(text, &v) || text.compare(0, 2, "0x") == 0 || v < low || v > kMaxWaitMs) {
        return false;
    }
    *value = v;
    return true;
}

bool ParseOnOff(const std::string& text, bool* on) {
    if (EqualNoCase(text, "on") || text == "1") {
        *on = true;
        return true;
    }
    if (EqualNoCase(text, "off") || text == "0") {
        *on = false;
        return true;
    }
    return false;
}

// The arguments of a step that takes numbers, on-off or nothing.
bool ParseArguments(Step& step, bool hasArgs, const std::string& args, std::string* error) {
    const char* name = StepName(step.kind);
    const std::vector<std::string> parts = hasArgs ? SplitCommas(args) : std::vector<std::string>();
    auto fail = [&](const std::string& why) {
        *error = std::string(name) + " " + why;
        return false;
    };
    switch (step.kind) {
        case StepKind::Open:
        case StepKind::Close:
        case StepKind::Release:
        case StepKind::Enable:
        case StepKind::Disable:
        case StepKind::OpenDrawer:
        case StepKind::Props:
            if (hasArgs) return fail("takes no argument");
            return true;
        case StepKind::Claim: {
            int32_t ms = 0;
            if (parts.size() != 1 || !ParseMs(parts[0], -1, &ms)) {
                return fail("takes the time-out in milliseconds (claim:1000; -1 waits forever)");
            }
            step.numbers = {ms};
            return true;
        }
        case StepKind::WaitClose: {
            step.numbers.clear();
            for (const std::string& p : parts) {
                int32_t v = 0;
                if (!ParseInt32(p, &v)) break;
                step.numbers.push_back(v);
            }
            if (parts.size() != 4 || step.numbers.size() != 4) {
                return fail("takes four numbers: waitclose:TIMEOUT,FREQUENCY,DURATION,DELAY");
            }
            return true;
        }
        case StepKind::Health: {
            int32_t level = 0;
            if (parts.size() != 1 || !ParseInt32(parts[0], &level)) {
                return fail("takes the level: health:1, health:2 or health:3");
            }
            step.numbers = {level};
            return true;
        }
        case StepKind::Freeze:
        case StepKind::CoFreeze:
            if (parts.size() != 1 || !ParseOnOff(parts[0], &step.on)) {
                return fail("takes on or off");
            }
            return true;
        case StepKind::Sleep: {
            int32_t ms = 0;
            if (parts.size() != 1 || !ParseMs(parts[0], 0, &ms)) {
                return fail("takes milliseconds from 0 to 3600000");
            }
            step.numbers = {ms};
            return true;
        }
        case StepKind::WaitEvents: {
            int32_t count = 0, ms = 10000;
            bool ok = (parts.size() == 1 || parts.size() == 2) && ParseInt32(parts[0], &count) &&
                      count >= 1 && count <= 100000 &&
                      (parts.size() == 1 || ParseMs(parts[1], 0, &ms));
            if (!ok) {
                return fail(
                    "takes the number of events and at most how long to wait: wait-events:N or "
                    "wait-events:N,MS (N from 1, MS up to 3600000, default 10000)");
            }
            step.numbers = {count, ms};
            return true;
        }
        default:
            return fail("is not handled here");
    }
}

bool ParseDirectIO(Step& step, const std::string& rest, std::string* error) {
    if (rest.empty() || rest[0] != ':') {
        *error = "directio needs a command: directio:CMD[,DATA[,TEXT]]";
        return false;
    }
    std::string args = rest.substr(1);
    std::string head = args;
    bool hasText = false;
    size_t first = args.find(',');
    size_t second = first == std::string::npos ? first : args.find(',', first + 1);
    if (second != std::string::npos) {
        head = args.substr(0, second);
        hasText = true;
        if (!UnescapeText(args.substr(second + 1), &step.text, error)) {
            *error = "directio text: " + *error;
            return false;
        }
    }
    size_t eq = head.find('=');
    if (eq != std::string::npos) {
        if (hasText) {
            *error =
                "directio with a text takes its expectation as a separate word: "
                "directio:CMD,DATA,TEXT expect:CODE";
            return false;
        }
        if (!ParseResultCode(head.substr(eq + 1), &step.expected)) {
            *error = "'" + head.substr(eq + 1) +
                     "' is not a result code (a number or an OPOS name such as OPOS_E_ILLEGAL)";
            return false;
        }
        step.hasExpectation = true;
        head.resize(eq);
    }
    const std::vector<std::string> parts = SplitCommas(head);
    int32_t command = 0, data = 0;
    if (parts.size() > 2 || !ParseInt32(parts[0], &command) ||
        (parts.size() == 2 && !ParseInt32(parts[1], &data))) {
        *error = "directio takes CMD[,DATA[,TEXT]] with CMD and DATA numbers (DATA may be 0x...)";
        return false;
    }
    step.numbers = {command, data};
    return true;
}

}  // namespace

const char* StepName(StepKind kind) {
    for (const StepNameEntry& e : kStepNames) {
        if (e.kind == kind) return e.name;
    }
    return "?";
}

bool ParseInt32(const std::string& text, int32_t* value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 10) return false;
        uint32_t v = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            char c = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            v = v * 16 + static_cast<uint32_t>(digit);
        }
        *value = static_cast<int32_t>(v);
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
        if (v > int64_t{1} << 31) return false;
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    *value = static_cast<int32_t>(v);
    return true;
}

bool ParseResultCode(const std::string& text, int32_t* code) {
    if (text.empty()) return false;
    if (isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-') {
        return ParseInt32(text, code);
    }
    const std::string wanted = Lower(text);
    for (int32_t c = 0; c <= 255; ++c) {
        const char* name = OposResultName(c);
        if (name == nullptr) continue;
        const std::string full = Lower(name);
        if (wanted == full || wanted == full.substr(5)) {
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
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            result += '%';
            ++i;
            continue;
        }
        int value = 0;
        for (int k = 1; k <= 2; ++k) {
            char h = i + k < text.size()
                         ? static_cast<char>(tolower(static_cast<unsigned char>(text[i + k])))
                         : '\0';
            int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1;
            if (digit < 0) {
                *error = "% takes two hexadecimal digits (%0D%0A is CR LF; %% is a percent sign)";
                return false;
            }
            value = value * 16 + digit;
        }
        result += static_cast<char>(value);
        i += 2;
    }
    *out = result;
    return true;
}

bool ParseStep(const std::string& word, Step* out, std::string* error) {
    size_t end = word.find_first_of(":=");
    const std::string name = Lower(word.substr(0, end));
    const std::string rest = end == std::string::npos ? std::string() : word.substr(end);
    const StepNameEntry* entry = nullptr;
    for (const StepNameEntry& e : kStepNames) {
        if (name == e.name) entry = &e;
    }
    if (entry == nullptr) {
        *error = "unknown step '" + word.substr(0, end) + "'";
        return false;
    }
    Step step;
    step.kind = entry->kind;
    step.written = word;

    if (step.kind == StepKind::DirectIO) {
        if (!ParseDirectIO(step, rest, error)) return false;
        *out = std::move(step);
        return true;
    }
    if (IsFreeText(step.kind) && !rest.empty() && rest[0] == ':') {
        // Everything after the colon is the request, '=' included.
        step.text = rest.substr(1);
        *out = std::move(step);
        return true;
    }
    std::string args;
    bool hasArgs = false;
    std::string expectation;
    bool hasExpectation = false;
    size_t eq = rest.find('=');
    if (!rest.empty() && rest[0] == ':') {
        hasArgs = true;
        args = rest.substr(1, eq == std::string::npos ? eq : eq - 1);
    }
    if (eq != std::string::npos) {
        hasExpectation = true;
        expectation = rest.substr(eq + 1);
    }
    if (hasExpectation) {
        if (!ParseResultCode(expectation, &step.expected)) {
            *error = "'" + expectation +
                     "' is not a result code (a number or an OPOS name such as OPOS_E_ILLEGAL)";
            return false;
        }
        step.hasExpectation = true;
    }
    if (!IsFreeText(step.kind) && !ParseArguments(step, hasArgs, args, error)) return false;
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
            if (steps.empty()) {
                *error = where + "expect:CODE must follow the step it belongs to";
                return false;
            }
            if (steps.back().hasExpectation) {
                *error = where + "the step before already says which result it expects";
                return false;
            }
            if (!ParseResultCode(word.substr(7), &steps.back().expected)) {
                *error = where + "'" + word.substr(7) +
                         "' is not a result code (a number or an OPOS name such as "
                         "OPOS_E_ILLEGAL)";
                return false;
            }
            steps.back().hasExpectation = true;
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
    if (name.empty()) {
        *error = "the device name is empty";
        return false;
    }
    // Characters, not bytes: the name is UTF-8, and a continuation byte (10xxxxxx) is part of
    // the character before it.
    size_t characters = 0;
    for (char c : name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (characters > 200) {
        *error = "the device name is longer than 200 characters";
        return false;
    }
    for (char c : name) {
        if (c == '\\') {
            *error = "the device name '" + name + "' contains a backslash";
            return false;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            *error = "the device name contains a control character";
            return false;
        }
    }
    return true;
}

namespace {

bool IsHelp(const char* arg) {
    return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0;
}

}  // namespace

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
           "Each step asks for OPOS_SUCCESS unless it says otherwise: STEP=CODE (opendrawer=111,\n"
           "open=OPOS_E_NOEXIST) or a following word expect:CODE (needed after a text that may\n"
           "itself contain '=': updatestats:HoursPoweredCount=5 expect:OPOS_E_ILLEGAL).\n"
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
        if (strcmp(argv[i], "--keep-going") == 0) {
            args.keepGoing = true;
        } else if (strcmp(argv[i], "--progid") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                *error = "--progid needs a ProgID";
                return ArgsResult::Error;
            }
            args.progId = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            *error = std::string("unknown option ") + argv[i];
            return ArgsResult::Error;
        } else {
            break;
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

const char* StatsUsage() {
    return "usage: cdctl stats NAME [REQUEST]\n"
           "Opens the device NAME, retrieves its statistics and prints the document.\n"
           "REQUEST names statistics separated by commas (U_ for the counters); without it\n"
           "every statistic is reported.\n"
           "Exit status: 0 done; the OPOS result when opening or retrieving failed; 1 the\n"
           "object could not be reached; 2 bad usage.\n";
}

ArgsResult ParseStatsArgs(int argc, const char* const* argv, StatsArgs* out, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return ArgsResult::Help;
    }
    if (argc < 2) {
        *error = "NAME is missing";
        return ArgsResult::Error;
    }
    if (argc > 3) {
        *error = "give the request as one word, e.g. U_ or DrawerGoodOpenCount,ModelName";
        return ArgsResult::Error;
    }
    StatsArgs args;
    args.device = argv[1];
    if (!ValidDeviceName(args.device, error)) return ArgsResult::Error;
    if (argc == 3) args.request = argv[2];
    *out = std::move(args);
    return ArgsResult::Ok;
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
           "  counter               show the counter mode, the counter file and the\n"
           "                        drawer-open counter (113, 115)\n"
           "  counter set N         set the drawer-open counter (114)\n"
           "  counter clear         set it to 0 (114)\n"
           "  counter mode MODE     Disable, Memory or File; File with FILE names the\n"
           "                        counter file (112)\n"
           "  save                  write the counter file now (115)\n"
           "  save FILE             write the counter text to FILE (115)\n"
           "  load FILE             set the counter from FILE (114)\n"
           "  --store               also write the setting to the registry (bit 31)\n"
           "Exit status: 0 done; the OPOS result of a refused command; 1 the object could\n"
           "not be reached; 2 bad usage.\n";
}

bool ParseEventLogLevel(const std::string& word, int32_t* level) {
    const std::string w = Lower(word);
    if (w == "disable") {
        *level = 0;
        return true;
    }
    if (w == "enable") {
        *level = 1;
        return true;
    }
    if (w.compare(0, 7, "verbose") == 0) {
        int32_t n = 0;
        const std::string digits = w.substr(7);
        if (digits.empty() || !isdigit(static_cast<unsigned char>(digits[0])) ||
            !ParseInt32(digits, &n) || n < 1 || n > 999) {
            return false;
        }
        *level = n + 1;
        return true;
    }
    int32_t n = 0;
    if (w.empty() || !isdigit(static_cast<unsigned char>(w[0])) || !ParseInt32(w, &n) || n > 1000 ||
        w.compare(0, 2, "0x") == 0) {
        return false;
    }
    *level = n;
    return true;
}

bool ParseCounterMode(const std::string& word, int32_t* mode) {
    const std::string w = Lower(word);
    const char* const names[] = {"disable", "memory", "file"};
    for (int32_t m = 0; m < 3; ++m) {
        if (w == names[m]) {
            *mode = m;
            return true;
        }
    }
    if (w.size() == 1 && w[0] >= '0' && w[0] <= '3') {
        *mode = w[0] - '0';
        return true;
    }
    return false;
}

ArgsResult ParseRasArgs(int argc, const char* const* argv, RasArgs* out, std::string* error) {
    std::vector<std::string> words;
    bool store = false;
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return ArgsResult::Help;
        if (strcmp(argv[i], "--store") == 0) {
            store = true;
        } else {
            words.push_back(argv[i]);
        }
    }
    if (words.size() < 2) {
        *error = words.empty() ? "NAME and a command are missing" : "the command is missing";
        return ArgsResult::Error;
    }
    RasArgs args;
    args.device = words[0];
    if (!ValidDeviceName(args.device, error)) return ArgsResult::Error;
    const std::string& verb = words[1];
    const size_t extra = words.size() - 2;
    auto fail = [&](const std::string& why) {
        *error = why;
        return ArgsResult::Error;
    };
    if (verb == "level") {
        if (extra == 0) {
            args.action = RasAction::ShowLevel;
        } else if (extra == 1) {
            args.action = RasAction::SetLevel;
            if (!ParseEventLogLevel(words[2], &args.value)) {
                return fail("'" + words[2] +
                            "' is not a level: Disable, Enable, VerboseN (N from 1) or a number");
            }
        } else {
            return fail("level takes at most one LEVEL");
        }
    } else if (verb == "counter") {
        if (extra == 0) {
            args.action = RasAction::ShowCounter;
        } else if (words[2] == "set") {
            int64_t value = 0;
            const std::string& digits = extra == 2 ? words[3] : std::string();
            bool ok = !digits.empty() && digits.size() <= 10;
            for (char c : digits) ok = ok && isdigit(static_cast<unsigned char>(c));
            if (ok) value = std::stoll(digits);
            if (!ok || value > 4294967295LL) {
                return fail("counter set takes one number from 0 to 4294967295");
            }
            args.action = RasAction::SetCounter;
            args.value = static_cast<int32_t>(static_cast<uint32_t>(value));
        } else if (words[2] == "clear") {
            if (extra != 1) return fail("counter clear takes no argument");
            args.action = RasAction::ClearCounter;
        } else if (words[2] == "mode") {
            if (extra < 2 || extra > 3 || !ParseCounterMode(words[3], &args.value)) {
                return fail("counter mode takes Disable, Memory or File (File may name a FILE)");
            }
            args.action = RasAction::SetMode;
            if (extra == 3) {
                if (args.value != 2 && args.value != 3) {
                    return fail("only the File mode takes a FILE");
                }
                args.file = words[4];
                args.value = 3;
            } else if (args.value == 3) {
                return fail("mode 3 names its counter file: counter mode File FILE");
            }
        } else {
            return fail("unknown counter command '" + words[2] + "' (set, clear or mode)");
        }
    } else if (verb == "save") {
        if (extra > 1) return fail("save takes at most one FILE");
        args.action = RasAction::Save;
        if (extra == 1) args.file = words[2];
    } else if (verb == "load") {
        if (extra != 1) return fail("load takes one FILE");
        args.action = RasAction::Load;
        args.file = words[2];
    } else {
        return fail("unknown command '" + verb + "' (level, counter, save or load)");
    }
    if (store && args.action != RasAction::SetLevel && args.action != RasAction::SetMode) {
        return fail("--store goes with 'level LEVEL' and 'counter mode MODE' only");
    }
    args.store = store;
    *out = std::move(args);
    return ArgsResult::Ok;
}

namespace {

Step DirectIOStep(int32_t command, int32_t data, const std::string& text) {
    Step step;
    step.kind = StepKind::DirectIO;
    step.numbers = {command, data};
    step.text = text;
    step.written = "directio:" + std::to_string(command) + "," + std::to_string(data);
    if (!text.empty()) step.written += ",...";
    return step;
}

}  // namespace

Step CounterTextStep() {
    return DirectIOStep(kRasCmdSaveCounters, 1, "");
}

std::vector<Step> RasSteps(const RasArgs& args) {
    const int32_t storeBit = args.store ? static_cast<int32_t>(kRasStoreInRegistry) : 0;
    switch (args.action) {
        case RasAction::ShowLevel:
            return {DirectIOStep(kRasCmdGetEventLogLevel, 0, "")};
        case RasAction::SetLevel:
            return {DirectIOStep(kRasCmdSetEventLogLevel, args.value | storeBit, "")};
        case RasAction::ShowCounter:
            return {DirectIOStep(kRasCmdGetStatisticsMode, 0, "")};
        case RasAction::SetCounter:
            return {DirectIOStep(
                kRasCmdLoadCounters, 1,
                FormatCounterLine(kDrawerOpenCounterName, static_cast<uint32_t>(args.value)))};
        case RasAction::ClearCounter:
            return {DirectIOStep(kRasCmdLoadCounters, 0, "")};
        case RasAction::SetMode:
            return {DirectIOStep(kRasCmdSetStatisticsMode, args.value | storeBit, args.file)};
        case RasAction::Save:
            return {DirectIOStep(kRasCmdSaveCounters, args.file.empty() ? 0 : 2, args.file)};
        case RasAction::Load:
            return {DirectIOStep(kRasCmdLoadCounters, 2, args.file)};
    }
    return {};
}

}  // namespace cdctl
