// "cdctl trace FILE": reads a channel file and prints each record with FormatTraceRecord.
// Standard C++ file I/O only, so the tool also builds natively; main thread only.
#include "tools/cdctl/commands.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "util/trace_file.h"
#include "util/trace_record.h"

namespace {

constexpr char kUsage[] =
    "usage: cdctl trace FILE\n"
    "Prints each record of a trace channel file (.trc) as one line:\n"
    "  HH:MM:SS.mmm TAG values | values \"text\" | N bytes: XX ...\n";

}  // namespace

int RunTraceCommand(int argc, char** argv) {
    const bool help =
        argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    if (help || argc != 2 || (argv[1][0] == '-' && argv[1][1] != '\0')) {
        if (!help) std::cerr << "cdctl trace: give one FILE\n";
        (help ? std::cout : std::cerr) << kUsage;
        return help ? 0 : 2;
    }
    const char* path = argv[1];

    // The path is UTF-8, as every argument: u8path keeps its characters on Windows too.
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        std::cerr << "cdctl trace: cannot open " << path << "\n";
        return 1;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::cerr << "cdctl trace: cannot read " << path << "\n";
        return 1;
    }
    const TraceFileContents contents = ParseTraceFile(bytes);
    for (const TraceRecord& rec : contents.records) {
        std::cout << FormatTraceRecord(rec.data()) << "\n";
    }
    std::cout.flush();
    if (!contents.ok()) {
        std::cerr << "cdctl trace: " << path << ": " << contents.error << "\n";
        return 1;
    }
    return 0;
}
