// libFuzzer target for the `cdctl sim` command line: any argument list (arguments are the
// input split at NUL bytes) goes to ParseSimCommand, whose verdict and fields are compared with
// the documented command table; accepted commands are applied to a controller, which must stay
// valid.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "ports/sim_command.h"
#include "ports/sim_controller.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Expected {
    sim::ParseResult result = sim::ParseResult::Error;
    sim::SimCommand command;
};

bool Ms(const std::string& text, uint32_t* ms) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 3600000) v = 3600001;  // leading zeros are fine, anything larger is not
    }
    if (v > 3600000) return false;
    *ms = static_cast<uint32_t>(v);
    return true;
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One byte ("1b", "0x1b", "d") or a run of whole bytes ("1b02010d").
bool HexBytes(std::string text, std::vector<uint8_t>* out) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
    }
    if (text.empty()) return false;
    if (text.size() == 1) {
        if (Hex(text[0]) < 0) return false;
        out->push_back(static_cast<uint8_t>(Hex(text[0])));
        return true;
    }
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (Hex(text[i]) < 0 || Hex(text[i + 1]) < 0) return false;
        out->push_back(static_cast<uint8_t>(Hex(text[i]) * 16 + Hex(text[i + 1])));
    }
    return true;
}

Expected Reference(const std::vector<std::string>& args) {
    Expected e;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            e.result = sim::ParseResult::Help;
            return e;
        }
    }
    if (args.size() < 3) return e;
    const std::string& port = args[1];
    if (port.size() < 3 || !fuzz::EqualNoCase(port.substr(0, 3), "SIM") || port.size() > 64) {
        return e;
    }
    for (char c : port) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
        if (!ok) return e;
        e.command.name.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    }
    struct Row {
        const char* name;
        sim::Verb verb;
        int args;
    };
    static const Row kTable[] = {
        {"show", sim::Verb::Show, 0},
        {"open", sim::Verb::Open, 1},
        {"close", sim::Verb::Close, 1},
        {"cts", sim::Verb::Cts, 1},
        {"dsr", sim::Verb::Dsr, 1},
        {"answer", sim::Verb::Answer, 1},
        {"notify", sim::Verb::Notify, 1},
        {"reply-delay", sim::Verb::ReplyDelay, 1},
        {"open-delay", sim::Verb::OpenDelay, 1},
        {"autoclose", sim::Verb::AutoClose, 1},
        {"inject", sim::Verb::Inject, -1},
        {"break", sim::Verb::Break, 0},
        {"error", sim::Verb::Error, 0},
        {"reset", sim::Verb::Reset, 0},
    };
    const Row* row = nullptr;
    for (const Row& r : kTable) {
        if (args[2] == r.name) row = &r;
    }
    if (row == nullptr) return e;
    const size_t n = args.size() - 3;
    if ((row->args >= 0 && n != static_cast<size_t>(row->args)) || (row->args < 0 && n == 0)) {
        return e;
    }
    e.command.verb = row->verb;
    const std::string arg = n > 0 ? args[3] : "";
    switch (row->verb) {
        case sim::Verb::Open:
        case sim::Verb::Close:
            if (arg != "1" && arg != "2") return e;
            e.command.drawer = arg == "2" ? 1 : 0;
            break;
        case sim::Verb::Cts:
        case sim::Verb::Dsr:
        case sim::Verb::Answer:
        case sim::Verb::Notify:
            if (arg != "on" && arg != "off") return e;
            e.command.on = arg == "on";
            break;
        case sim::Verb::ReplyDelay:
        case sim::Verb::OpenDelay:
            if (!Ms(arg, &e.command.ms)) return e;
            break;
        case sim::Verb::AutoClose:
            e.command.on = arg != "off";
            if (e.command.on && !Ms(arg, &e.command.ms)) return e;
            break;
        case sim::Verb::Inject:
            for (size_t i = 3; i < args.size(); ++i) {
                if (!HexBytes(args[i], &e.command.bytes)) return e;
            }
            if (e.command.bytes.size() > 256) return e;
            break;
        default:
            break;
    }
    e.result = sim::ParseResult::Ok;
    return e;
}

// Words the parser knows, so that whole commands come up often.
const char* const kWords[] = {
    "sim",    "SIM1",    "sim_front-2", "SIMX!",  "show",        "open",       "close",
    "cts",    "dsr",     "answer",      "notify", "reply-delay", "open-delay", "autoclose",
    "inject", "break",   "error",       "reset",  "on",          "off",        "1",
    "2",      "3600000", "3600001",     "0x1b",   "1b02010d",    "d",          "--help"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::string> args = {"sim"};
    while (in.remaining_bytes() > 0 && args.size() < 300) {
        if (in.ConsumeBool()) {
            args.push_back(in.PickValueInArray(kWords));
        } else {
            args.push_back(fuzz::UpToNul(in.ConsumeRandomLengthString(80)));
        }
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    sim::SimCommand command;
    std::string error;
    const sim::ParseResult result =
        sim::ParseSimCommand(static_cast<int>(args.size()), argv.data(), &command, &error);
    const Expected expected = Reference(args);
    FUZZ_CHECK(result == expected.result);
    FUZZ_CHECK((result == sim::ParseResult::Error) == !error.empty());
    if (result != sim::ParseResult::Ok) return 0;
    FUZZ_CHECK(command.name == expected.command.name);
    FUZZ_CHECK(command.verb == expected.command.verb);
    FUZZ_CHECK(command.drawer == expected.command.drawer);
    FUZZ_CHECK(command.ms == expected.command.ms);
    FUZZ_CHECK(command.bytes == expected.command.bytes);
    if (command.verb != sim::Verb::Show && command.verb != sim::Verb::Reset &&
        command.verb != sim::Verb::Inject && command.verb != sim::Verb::Break &&
        command.verb != sim::Verb::Error && command.verb != sim::Verb::Open &&
        command.verb != sim::Verb::Close && command.verb != sim::Verb::ReplyDelay &&
        command.verb != sim::Verb::OpenDelay) {
        FUZZ_CHECK(command.on == expected.command.on);
    }

    // Applied to a controller, with and without a port attached.
    static sim::State s;
    for (bool attached : {false, true}) {
        sim::Initialize(s, 1000000);
        if (attached) sim::Attach(s, 1000000, 19200);
        const sim::ApplyResult applied = sim::ApplySimCommand(s, 1000000, command);
        const bool needsPort = command.verb == sim::Verb::Inject ||
                               command.verb == sim::Verb::Break || command.verb == sim::Verb::Error;
        FUZZ_CHECK((applied == sim::ApplyResult::NotOpen) == (needsPort && !attached));
        FUZZ_CHECK(sim::IsValid(s));
        FUZZ_CHECK(sim::ShowLine(s).rfind("drawer1=", 0) == 0);
    }
    return 0;
}
