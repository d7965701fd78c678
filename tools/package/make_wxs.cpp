// bramwick_wxs: writes the WiX source of a build's installer package to standard output.
//   bramwick_wxs x86|x64 VERSION
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/package/package_wxs.h"

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "x86") != 0 && strcmp(argv[1], "x64") != 0)) {
        fprintf(stderr, "usage: bramwick_wxs x86|x64 VERSION\n");
        return 2;
    }
    package::PackageOptions options;
    options.win64 = strcmp(argv[1], "x64") == 0;
    options.version = argv[2];
    std::string error;
    const std::string wxs = package::PackageWxs(options, &error);
    if (wxs.empty()) {
        fprintf(stderr, "bramwick_wxs: %s\n", error.c_str());
        return 2;
    }
    fputs(wxs.c_str(), stdout);
    return 0;
}
