// The commands of `cdctl sim PORT COMMAND [ARGS]`: parsing the arguments and applying a parsed
// command to a controller's state. No Windows headers; the tool wraps these with the state file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports/sim_controller.h"

namespace sim {

enum class Verb {
    Show,
    Open,
    Close,
    Cts,
    Dsr,
    Answer,
    Notify,
    ReplyDelay,
    OpenDelay,
    AutoClose,
    Inject,
    Break,
    Error,
    Reset,
};

struct SimCommand {
    std::string name;  // controller name in capitals
    Verb verb = Verb::Show;
    size_t drawer = 0;  // 0 or 1 for drawer 1 or 2
    bool on = false;    // cts/dsr/answer/notify; for autoclose, false means off
    uint32_t ms = 0;
    std::vector<uint8_t> bytes;
};

enum class ParseResult { Ok, Help, Error };

constexpr size_t kMaxInjectBytes = 256;

// argv[0] is "sim". On Error, *error says what is wrong in one line.
ParseResult ParseSimCommand(int argc, char** argv, SimCommand* out, std::string* error);

enum class ApplyResult { Done, NotOpen, Full };

// Carries the command out on a state already advanced to `now`.
ApplyResult ApplySimCommand(State& s, uint64_t now, const SimCommand& c);

const char* SimUsage();

}  // namespace sim
