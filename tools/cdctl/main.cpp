// cdctl: the command-line companion of the Bramwick service object.
// Each subcommand lives in its own file; this file only dispatches and prints help.
#include <cstdio>
#include <cstring>

#include "bramwick_version.h"
#include "tools/cdctl/cmd_props.h"
#include "tools/cdctl/cmd_ras.h"
#include "tools/cdctl/cmd_session.h"
#include "tools/cdctl/cmd_setup.h"
#include "tools/cdctl/cmd_sim.h"
#include "tools/cdctl/cmd_stats.h"
#include "tools/cdctl/cmd_trace.h"

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
    {"props", "create the service object by ProgID and print its properties", RunPropsCommand},
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

}  // namespace

int main(int argc, char** argv) {
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
    fprintf(stderr, "cdctl: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
