// Parsing and applying the `cdctl sim` commands.
#include "ports/sim_command.h"

#include <cctype>
#include <cstring>

#include "ports/port_settings.h"

namespace sim {
namespace {

struct VerbName {
    const char* name;
    Verb verb;
    int args;  // -1: one or more
};

const VerbName kVerbs[] = {
    {"show", Verb::Show, 0},
    {"open", Verb::Open, 1},
    {"close", Verb::Close, 1},
    {"cts", Verb::Cts, 1},
    {"dsr", Verb::Dsr, 1},
    {"answer", Verb::Answer, 1},
    {"notify", Verb::Notify, 1},
    {"reply-delay", Verb::ReplyDelay, 1},
    {"open-delay", Verb::OpenDelay, 1},
    {"autoclose", Verb::AutoClose, 1},
    {"inject", Verb::Inject, -1},
    {"break", Verb::Break, 0},
    {"error", Verb::Error, 0},
    {"reset", Verb::Reset, 0},
};

bool ParseOnOff(const char* text, bool* on) {
    if (strcmp(text, "on") == 0) {
        *on = true;
    } else if (strcmp(text, "off") == 0) {
        *on = false;
    } else {
        return false;
    }
    return true;
}

bool ParseMs(const char* text, uint32_t* ms) {
    uint64_t v = 0;
    if (*text == '\0') return false;
    for (const char* p = text; *p; ++p) {
        if (!isdigit(static_cast<unsigned char>(*p))) return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > kMaxDelayMs) return false;
    }
    *ms = static_cast<uint32_t>(v);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One argument is one byte ("1b", "0x1b", "d") or a run of whole bytes ("1b02010d").
bool ParseHex(const char* text, std::vector<uint8_t>* bytes) {
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    const size_t n = strlen(text);
    if (n == 0) return false;
    if (n == 1) {
        const int d = HexDigit(text[0]);
        if (d < 0) return false;
        bytes->push_back(static_cast<uint8_t>(d));
        return true;
    }
    if (n % 2 != 0) return false;
    for (size_t i = 0; i < n; i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

bool IsHelp(const char* arg) {
    return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0;
}

}  // namespace

const char* SimUsage() {
    return "usage: cdctl sim PORT COMMAND [ARGS]\n"
           "Shows or changes the simulated drawer controller PORT (SIM1, SIM2, ...).\n"
           "commands:\n"
           "  show                 print the state on one line\n"
           "  open 1|2             open a drawer by hand\n"
           "  close 1|2            close a drawer by hand\n"
           "  cts on|off           set the CTS line\n"
           "  dsr on|off           set the DSR line\n"
           "  answer on|off        answer commands, or swallow them\n"
           "  notify on|off        send a frame on every drawer change\n"
           "  reply-delay MS       delay before the answer to a status command\n"
           "  open-delay MS        delay before a commanded drawer opens\n"
           "  autoclose MS|off     close an open drawer after MS milliseconds\n"
           "  inject HEX...        send bytes to the port, e.g. inject 1b 02 01 0d\n"
           "  break                send a break to the port\n"
           "  error                send a framing error to the port\n"
           "  reset                restore the defaults\n"
           "Exit status: 0 done, 1 the state or the port was not available, 2 bad usage.\n";
}

ParseResult ParseSimCommand(int argc, char** argv, SimCommand* out, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return ParseResult::Help;
    }
    if (argc < 3) {
        *error = argc < 2 ? "PORT and COMMAND are missing" : "COMMAND is missing";
        return ParseResult::Error;
    }
    SimCommand c;
    if (ports::ClassifyPort(argv[1], &c.name) != ports::PortKind::Simulator) {
        *error = std::string("'") + argv[1] +
                 "' is not a simulated controller (SIM followed by letters, digits, _ or -)";
        return ParseResult::Error;
    }
    const VerbName* verb = nullptr;
    for (const VerbName& v : kVerbs) {
        if (strcmp(argv[2], v.name) == 0) verb = &v;
    }
    if (verb == nullptr) {
        *error = std::string("unknown command '") + argv[2] + "'";
        return ParseResult::Error;
    }
    c.verb = verb->verb;
    const int nargs = argc - 3;
    if (verb->args >= 0 && nargs != verb->args) {
        *error = std::string(verb->name) + " takes " +
                 (verb->args == 0 ? "no argument" : "one argument");
        return ParseResult::Error;
    }
    if (verb->args < 0 && nargs == 0) {
        *error = std::string(verb->name) + " needs at least one byte";
        return ParseResult::Error;
    }
    const char* arg = nargs > 0 ? argv[3] : "";
    bool ok = true;
    switch (c.verb) {
        case Verb::Open:
        case Verb::Close:
            ok = strcmp(arg, "1") == 0 || strcmp(arg, "2") == 0;
            c.drawer = arg[0] == '2' ? 1 : 0;
            if (!ok) *error = "the drawer is 1 or 2";
            break;
        case Verb::Cts:
        case Verb::Dsr:
        case Verb::Answer:
        case Verb::Notify:
            ok = ParseOnOff(arg, &c.on);
            if (!ok) *error = "expected on or off";
            break;
        case Verb::ReplyDelay:
        case Verb::OpenDelay:
            ok = ParseMs(arg, &c.ms);
            if (!ok) *error = "expected milliseconds from 0 to 3600000";
            break;
        case Verb::AutoClose:
            c.on = strcmp(arg, "off") != 0;
            ok = !c.on || ParseMs(arg, &c.ms);
            if (!ok) *error = "expected milliseconds from 0 to 3600000, or off";
            break;
        case Verb::Inject:
            for (int i = 3; ok && i < argc; ++i) {
                ok = ParseHex(argv[i], &c.bytes);
                if (!ok) *error = std::string("'") + argv[i] + "' is not hexadecimal bytes";
            }
            if (ok && c.bytes.size() > kMaxInjectBytes) {
                ok = false;
                *error = "at most 256 bytes can be injected at once";
            }
            break;
        default:
            break;
    }
    if (!ok) return ParseResult::Error;
    *out = std::move(c);
    return ParseResult::Ok;
}

ApplyResult ApplySimCommand(State& s, uint64_t now, const SimCommand& c) {
    bool sent = true;
    switch (c.verb) {
        case Verb::Show:
            break;
        case Verb::Open:
        case Verb::Close:
            SetDrawer(s, now, c.drawer, c.verb == Verb::Open);
            break;
        case Verb::Cts:
            SetCts(s, c.on);
            break;
        case Verb::Dsr:
            SetDsr(s, c.on);
            break;
        case Verb::Answer:
            s.answering = c.on ? 1 : 0;
            break;
        case Verb::Notify:
            s.notify = c.on ? 1 : 0;
            break;
        case Verb::ReplyDelay:
            s.replyDelayMs = c.ms;
            break;
        case Verb::OpenDelay:
            s.openDelayMs = c.ms;
            break;
        case Verb::AutoClose:
            s.autoCloseOn = c.on ? 1 : 0;
            s.autoCloseMs = c.on ? c.ms : 0;
            break;
        case Verb::Inject:
            if (!s.attached) return ApplyResult::NotOpen;
            sent = InjectBytes(s, now, c.bytes.data(), c.bytes.size());
            break;
        case Verb::Break:
            if (!s.attached) return ApplyResult::NotOpen;
            sent = InjectBreak(s, now);
            break;
        case Verb::Error:
            if (!s.attached) return ApplyResult::NotOpen;
            sent = InjectError(s, now);
            break;
        case Verb::Reset:
            Reset(s, now);
            break;
    }
    return sent ? ApplyResult::Done : ApplyResult::Full;
}

}  // namespace sim
