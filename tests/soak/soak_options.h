// The soak supervisor's command line (tests/soak/soak_driver.cpp).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace soak {

struct Options {
    int processes = 8;
    int cycles = 200;
    int kills = 16;
    int listenerKills = 16;
    int unclaimed = 4;
    int watchers = 2;
    DWORD killMin = 1500;
    DWORD killMax = 5000;
    uint32_t seed = 0;
    std::string mixedDriver;  // the other build's soak_driver.exe, for odd slots
    std::string mixedOut;     // the other build's modules
};

inline bool ParseOptions(int argc, char** argv, Options* o) {
    o->seed = GetTickCount();
    bool unclaimedGiven = false;
    const std::map<std::string, int*> numbers = {
        {"--processes", &o->processes}, {"--cycles", &o->cycles},
        {"--kills", &o->kills},         {"--listener-kills", &o->listenerKills},
        {"--unclaimed", &o->unclaimed}, {"--watchers", &o->watchers}};
    for (int i = 2; i < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (v == nullptr) return false;
        char* end = nullptr;
        const long n = strtol(v, &end, 10);
        if (auto it = numbers.find(a); it != numbers.end()) {
            if (*end != '\0' || n < 0 || n > 100000) return false;
            *it->second = static_cast<int>(n);
            unclaimedGiven |= a == "--unclaimed";
        } else if (a == "--mixed") {
            o->mixedDriver = v;
        } else if (a == "--mixed-out") {
            o->mixedOut = v;
        } else if (a == "--seed") {
            o->seed = static_cast<uint32_t>(strtoul(v, nullptr, 10));
        } else if (a == "--kill-every") {
            if (sscanf(v, "%lu-%lu", &o->killMin, &o->killMax) != 2 || o->killMin > o->killMax) {
                return false;
            }
        } else {
            return false;
        }
    }
    if (!unclaimedGiven) o->unclaimed = o->processes / 2;
    return o->processes >= 1 && o->processes <= 60 && o->cycles >= 1 &&
           o->unclaimed <= o->processes && o->watchers <= 8 &&
           o->mixedDriver.empty() == o->mixedOut.empty();
}

}  // namespace soak
