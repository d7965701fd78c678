// `cdctl ras NAME ...`: the reliability commands, each a DirectIO command of the service run
// as a session step. Pure C++; tested natively.
#pragma once

#include <cstdint>
#include <string>

#include "tools/cdctl/session_script.h"

namespace cdctl {

enum class RasAction {
    ShowLevel,     // 111
    SetLevel,      // 110
    ShowCounter,   // 113, then 115 data 1 unless the counters are disabled
    SetCounter,    // 114 data 1 with a counter line
    ClearCounter,  // 114 data 0
    SetMode,       // 112
    Save,          // 115 data 0, or data 2 with a file
    Load,          // 114 data 2 with a file
};

struct RasArgs {
    std::string device;
    RasAction action = RasAction::ShowLevel;
    int32_t value = 0;   // level, counter mode, or counter value (as unsigned bits)
    bool store = false;  // --store: also write the setting to the registry (bit 31)
    std::string file;
};
// argv[0] is "ras".
ArgsResult ParseRasArgs(int argc, const char* const* argv, RasArgs* out, std::string* error);
const char* RasUsage();

// The event-log level a word selects: "Disable" 0, "Enable" 1, "VerboseN" N + 1 (N from 1 to
// 999), or a plain number 0..1000; letter case is not significant.
bool ParseEventLogLevel(const std::string& word, int32_t* level);

// The DirectIO step of a ras command that runs before any output is printed. ShowCounter
// yields only its 113 step; its 115 step is CounterTextStep().
Step RasStep(const RasArgs& args);
Step CounterTextStep();

}  // namespace cdctl
