// cdctl: the command-line companion of the Bramwick service object.
// Each subcommand lives in its own file; this file only decodes the command line, dispatches
// and prints help.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/wide_text.h"

#include "bramwick_version.h"
#include "tools/cdctl/commands.h"

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"setup", "add, list, show or remove a cash drawer in the OPOS registry", RunSetupCommand},
    {"session", "run a scripted OPOS session on a device, printing results and events",
     RunSessionCommand},
    {"stats", "print the statistics document of a device", RunStatsCommand},
    {"ras", "read and set the event-log level and the drawer-open counter", RunRasCommand},
    {"sim", "show and drive a simulated drawer controller", RunSimCommand},
    {"trace", "decode a trace file written by XTRLOG32.DLL", RunTraceCommand},
};

void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: cdctl COMMAND [ARGS...]\n"
            "       cdctl COMMAND --help\n"
            "       cdctl --version\n\n"
            "commands:\n");
    for (const Command& c : kCommands) fprintf(out, "  %-8s %s\n", c.name, c.summary);
}

// The arguments as typed, in UTF-8: device names, files and texts may use any character,
// where the ANSI arguments main receives would have turned the ones outside the ANSI code page
// into '?'. False, naming the argument, when one holds an unpaired surrogate.
bool Utf8Arguments(std::vector<std::string>* args) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        std::string arg;
        ok = fw::WideToUtf8(wide[i], wcslen(wide[i]), &arg);
        if (!ok) fprintf(stderr, "cdctl: argument %d is not valid Unicode text\n", i);
        args->push_back(arg);
    }
    LocalFree(wide);
    return ok;
}

int Run(int argc, char** argv) {
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 ||
        strcmp(argv[1], "help") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (strcmp(argv[1], "--version") == 0) {
        // The product version of the file VERSION, as every module's version resource has it.
        printf("Bramwick %s (%s)\n", BRAMWICK_VERSION_TEXT, sizeof(void*) == 8 ? "x64" : "x86");
        return 0;
    }
    for (const Command& c : kCommands) {
        if (strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
    }
    if (strcmp(argv[1], "props") == 0) {
        // The properties are a session step, read from the open (or closed again) service.
        fprintf(stderr, "cdctl: props is a session step: cdctl session NAME open props close\n");
        return 2;
    }
    fprintf(stderr, "cdctl: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}

}  // namespace

int main() {
    std::vector<std::string> args;
    if (!Utf8Arguments(&args)) return 2;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    // What cdctl prints is UTF-8; a console shows it so while cdctl runs.
    DWORD mode = 0;
    const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
                         GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    const UINT codePage = GetConsoleOutputCP();
    if (console) SetConsoleOutputCP(CP_UTF8);
    const int code = Run(static_cast<int>(args.size()), argv.data());
    fflush(stdout);
    fflush(stderr);
    if (console) SetConsoleOutputCP(codePage);
    return code;
}
