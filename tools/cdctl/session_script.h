// The scripts of `cdctl session`: command-line words turned into session steps, the result
// each step asks for, and the exit code a session ends with. Pure C++ (no Windows headers),
// so every rule here is tested natively.
#pragma once

#include <cstdint>
#include <optional>
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
    Freeze,       // FreezeEvents = 1/0
    CoFreeze,     // COFreezeEvents(1/0)
    Props,        // print the properties
    Sleep,        // pump events for ms
    WaitEvents,   // pump until n more events arrived, at most ms
};

struct Step {
    StepKind kind = StepKind::Open;
    std::string written;              // the step as given, for messages
    std::vector<int32_t> numbers;     // numeric arguments, in order (freeze: 1 on, 0 off)
    std::string text;                 // statistics request, or the DirectIO string
    std::optional<int32_t> expected;  // none: OPOS_SUCCESS is asked for
};

// Parses one word of a script. Step names are matched without regard to letter case.
// Returns false with a one-line reason in *error.
bool ParseStep(const std::string& word, Step* out, std::string* error);

// Parses the words of a script: steps, each optionally followed by an "expect:CODE" word.
// On failure *error names the word by its position (1-based) and says what is wrong.
bool ParseScript(const std::vector<std::string>& words, std::vector<Step>* out, std::string* error);

// A result code as written in an expectation: a decimal number, or an OPOS result name with
// or without its "OPOS_" prefix, in any letter case ("OPOS_E_NOEXIST", "e_noexist", "109").
bool ParseResultCode(const std::string& text, int32_t* code);

// The DirectIO text of a script with its escapes resolved: %HH is the byte with that
// hexadecimal value (%0D%0A is CR LF), %% a percent sign. Backslashes are plain characters,
// so Windows paths are written as they are.
bool UnescapeText(const std::string& text, std::string* out, std::string* error);

// Whether a step's result is the one it asks for.
inline bool ResultMeets(const Step& step, int32_t result) {
    return result == step.expected.value_or(0);
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

}  // namespace cdctl
