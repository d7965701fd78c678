// The scripts of `cdctl session`, `cdctl stats` and `cdctl ras`: command-line words turned into
// session steps, the result each step asks for, and the exit code a session ends with.
// Pure C++ (no Windows headers), so every rule here is tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdctl {

enum class StepKind {
    Open,         // OpenService("CashDrawer", NAME, control object)
    Close,        // CloseService
    Claim,        // ClaimDevice(ms)
    Release,      // ReleaseDevice
    Enable,       // DeviceEnabled = TRUE
    Disable,      // DeviceEnabled = FALSE
    OpenDrawer,   // OpenDrawer
    WaitClose,    // WaitForDrawerClose(timeout, frequency, duration, delay)
    Health,       // CheckHealth(level)
    Stats,        // RetrieveStatistics(request)
    ResetStats,   // ResetStatistics(request)
    UpdateStats,  // UpdateStatistics(request)
    DirectIO,     // DirectIO(command, data, text)
    Freeze,       // FreezeEvents = on/off
    CoFreeze,     // COFreezeEvents(on/off)
    Props,        // print the properties
    Sleep,        // pump events for ms
    WaitEvents,   // pump until n more events arrived, at most ms
};

struct Step {
    StepKind kind = StepKind::Open;
    std::string written;           // the step as given, for messages
    std::vector<int32_t> numbers;  // numeric arguments, in order
    std::string text;              // statistics request, or the DirectIO string
    bool on = false;               // freeze and cofreeze
    bool hasExpectation = false;   // false: OPOS_SUCCESS is asked for
    int32_t expected = 0;
};

// The name of a step kind as written in a script ("opendrawer", "wait-events", ...).
const char* StepName(StepKind kind);

// Parses one word of a script. Step names are matched without regard to letter case.
// Returns false with a one-line reason in *error.
bool ParseStep(const std::string& word, Step* out, std::string* error);

// Parses the words of a script: steps, each optionally followed by an "expect:CODE" word.
// On failure *error names the word by its position (1-based) and says what is wrong.
bool ParseScript(const std::vector<std::string>& words, std::vector<Step>* out, std::string* error);

// A result code as written in an expectation: a decimal number, or an OPOS result name with
// or without its "OPOS_" prefix, in any letter case ("OPOS_E_NOEXIST", "e_noexist", "109").
bool ParseResultCode(const std::string& text, int32_t* code);

// A 32-bit argument: decimal with an optional sign, or hexadecimal after "0x" (up to
// 0xFFFFFFFF, taken as the signed value with the same bits, so 0x80000002 is -2147483646).
bool ParseInt32(const std::string& text, int32_t* value);

// The DirectIO text of a script with its escapes resolved: %HH is the byte with that
// hexadecimal value (%0D%0A is CR LF), %% a percent sign. Backslashes are plain characters,
// so Windows paths are written as they are.
bool UnescapeText(const std::string& text, std::string* out, std::string* error);

// Whether a step's result is the one it asks for.
inline bool ResultMeets(const Step& step, int32_t result) {
    return result == (step.hasExpectation ? step.expected : 0);
}

// Exit codes of the session commands.
constexpr int kExitOk = 0;                 // every step returned what it asked for
constexpr int kExitCannotRun = 1;          // the object or a method could not be reached
constexpr int kExitBadScript = 2;          // bad arguments; nothing was run
constexpr int kExitUnexpectedSuccess = 3;  // OPOS_SUCCESS where a failure was asked for

// The exit code for the first step whose result was not the one asked for: the OPOS code
// itself when it lies in 4..255, kExitUnexpectedSuccess for 0, and 255 for anything else.
int ExitCodeForResult(int32_t result);

// `cdctl session [OPTIONS] NAME STEP...`
struct SessionArgs {
    std::string device;
    std::vector<Step> steps;
    bool keepGoing = false;  // run every step even after an unexpected result
    std::string progId;      // empty: read from the device key, as a control object does
};

enum class ArgsResult { Ok, Help, Error };

// argv[0] is "session".
ArgsResult ParseSessionArgs(int argc, const char* const* argv, SessionArgs* out,
                            std::string* error);
const char* SessionUsage();

// A device name as it may appear in the OPOS registry tree: not empty, at most 200
// characters, no backslash and no control characters.
bool ValidDeviceName(const std::string& name, std::string* error);

// `cdctl stats NAME [REQUEST]`: the statistics request, empty for every statistic.
struct StatsArgs {
    std::string device;
    std::string request;
};
ArgsResult ParseStatsArgs(int argc, const char* const* argv, StatsArgs* out, std::string* error);
const char* StatsUsage();

// `cdctl ras NAME ...`: the reliability commands, each a DirectIO command of the service.
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
ArgsResult ParseRasArgs(int argc, const char* const* argv, RasArgs* out, std::string* error);
const char* RasUsage();

// The event-log level a word selects: "Disable" 0, "Enable" 1, "VerboseN" N + 1 (N >= 1),
// or a plain number 0..1000; letter case is not significant.
bool ParseEventLogLevel(const std::string& word, int32_t* level);
// The counter mode a word selects: "Disable" 0, "Memory" 1, "File" 2, or 0..3.
bool ParseCounterMode(const std::string& word, int32_t* mode);

// The name of the service's one reliability counter, blank-padded to 28 characters.
extern const char kDrawerOpenCounterName[];

// The DirectIO steps of a ras command that run before any output is printed.
// ShowCounter yields only the 113 step; its 115 step is StepCounterText().
std::vector<Step> RasSteps(const RasArgs& args);
Step CounterTextStep();

}  // namespace cdctl
