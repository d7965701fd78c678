// "cdctl stats": a session of two steps, open and RetrieveStatistics, printing the document.
#include "tools/cdctl/cmd_stats.h"

#include <iostream>

#include "tools/cdctl/cmd_session.h"

using namespace cdctl;

int RunStatsCommand(int argc, char** argv) {
    StatsArgs args;
    std::string error;
    switch (ParseStatsArgs(argc, argv, &args, &error)) {
        case ArgsResult::Help:
            std::cout << StatsUsage();
            return kExitOk;
        case ArgsResult::Error:
            std::cerr << "cdctl stats: " << error << "\n" << StatsUsage();
            return kExitBadScript;
        case ArgsResult::Ok:
            break;
    }
    Step open, retrieve;
    ParseStep("open", &open, &error);
    ParseStep("stats", &retrieve, &error);
    retrieve.text = args.request;

    Session::Options options;
    options.narrate = false;
    options.who = "cdctl stats";
    Session session(args.device, options);
    if (!session.Start()) return kExitCannotRun;
    std::vector<StepReport> reports;
    int code = session.RunAll({open, retrieve}, &reports);
    session.Finish();
    if (code != kExitOk) return code;
    // The document's lines end in CR LF; the console adds its own line ends.
    for (char c : reports[1].text) {
        if (c != '\r') std::cout << c;
    }
    if (!reports[1].text.empty() && reports[1].text.back() != '\n') std::cout << '\n';
    return kExitOk;
}
