// "cdctl stats NAME [REQUEST]": the session `open stats:REQUEST`, printing the statistics
// document alone, as a file to keep or to read with an XML tool.
#include "tools/cdctl/commands.h"

#include <iostream>

#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/cmd_session.h"

using namespace cdctl;

namespace {

constexpr char kUsage[] =
    "usage: cdctl stats NAME [REQUEST]\n"
    "Runs the session 'open stats:REQUEST' on the device NAME and prints the statistics\n"
    "document alone. REQUEST names statistics separated by commas (U_ for the counters);\n"
    "without it every statistic is reported. Exit status as for cdctl session.\n";

}  // namespace

int RunStatsCommand(int argc, char** argv) {
    if (argc > 1 && IsHelp(argv[1])) {
        std::cout << kUsage;
        return kExitOk;
    }
    std::vector<Step> steps;
    std::string error = "give NAME and at most one REQUEST";
    if (argc < 2 || argc > 3 || !ValidDeviceName(argv[1], &error) ||
        !ParseScript({"open", std::string("stats:") + (argc == 3 ? argv[2] : "")}, &steps,
                     &error)) {
        std::cerr << "cdctl stats: " << error << "\n" << kUsage;
        return kExitBadScript;
    }
    Session::Options options;
    options.narrate = false;
    options.who = "cdctl stats";
    Session session(argv[1], options);
    if (!session.Start()) return kExitCannotRun;
    std::vector<StepReport> reports;
    const int code = session.RunAll(steps, &reports);
    session.Finish();
    if (code != kExitOk) return code;
    // The document's lines end in CR LF; the console adds its own line ends.
    for (const std::string& line : Lines(reports[1].text)) std::cout << line << "\n";
    return kExitOk;
}
