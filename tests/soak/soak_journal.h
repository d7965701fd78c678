// The soak's bookkeeping, apart from Windows so that it reads plainly: what each worker
// process writes into its journal, what the supervisor reads back, and the accounting of the
// statistics counts against the attempts the journals show.
//
// Journal lines (one per event, written straight to the file so that they survive a kill):
//   start PID
//   warm HANDLES                    handle count after the first cycle
//   cycle N
//   call NAME RESULT MS             a method returned RESULT after MS milliseconds
//   od-begin                        OpenDrawer is about to be called
//   od-end RESULT MS                OpenDrawer returned
//   open-refused RESULT OPENRESULT
//   violation TEXT
//   done CYCLES HANDLES             the last cycle is over; handle count then
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace soak {

// OPOS results a cycle meets.
constexpr long kSuccess = 0;
constexpr long kClaimed = 102;
constexpr long kFailure = 111;
constexpr long kTimeout = 112;
constexpr long kOpenResultNoPort = 456;

struct Incarnation {
    int slot = 0;
    int number = 0;       // 0 for the first process of a slot, then 1, 2, ... after kills
    bool killed = false;  // ended by the supervisor
    bool hung = false;    // ended by the supervisor after making no progress
    unsigned long exitCode = 0;
    long pid = 0;
    int cycles = 0;     // cycles begun
    bool done = false;  // reached its last cycle's end
    long warmHandles = -1;
    long endHandles = -1;
    long goodOpens = 0;     // OpenDrawer returned 0
    long failedOpens = 0;   // OpenDrawer returned 111 or 112
    long refusedOpens = 0;  // OpenDrawer refused before trying (claimed by another)
    long inFlight = 0;      // OpenDrawer begun, not returned (killed meanwhile)
    long openRefusals = 0;  // OpenService 111 with OpenResult 456
    std::map<long, long> openDrawerResults;  // OpenDrawer result -> how often
    std::map<std::string, long> longestMs;   // call name -> longest duration
    std::vector<std::string> violations;
    std::string lastLine;
};

// Reads a journal into inc (slot, number, killed and exitCode are the caller's).
inline void ReadJournal(const std::string& text, Incarnation* inc) {
    std::istringstream in(text);
    std::string line;
    bool open = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        inc->lastLine = line;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "start") {
            words >> inc->pid;
        } else if (word == "warm") {
            words >> inc->warmHandles;
        } else if (word == "cycle") {
            ++inc->cycles;
        } else if (word == "od-begin") {
            open = true;
        } else if (word == "call") {
            std::string name;
            long result = 0;
            long ms = 0;
            words >> name >> result >> ms;
            long& longest = inc->longestMs[name];
            if (ms > longest) longest = ms;
        } else if (word == "od-end") {
            long result = -1;
            long ms = 0;
            words >> result >> ms;
            open = false;
            ++inc->openDrawerResults[result];
            long& longest = inc->longestMs["opendrawer"];
            if (ms > longest) longest = ms;
            if (result == kSuccess) {
                ++inc->goodOpens;
            } else if (result == kFailure || result == kTimeout) {
                ++inc->failedOpens;
            } else if (result == kClaimed) {
                ++inc->refusedOpens;
            } else {
                inc->violations.push_back("OpenDrawer returned " + std::to_string(result));
            }
        } else if (word == "open-refused") {
            ++inc->openRefusals;
        } else if (word == "violation") {
            std::string rest;
            std::getline(words, rest);
            inc->violations.push_back(rest.empty() ? "?" : rest.substr(1));
        } else if (word == "done") {
            int cycles = 0;
            words >> cycles >> inc->endHandles;
            inc->done = true;
        }
    }
    if (open) inc->inFlight = 1;
}

// The statistics against the journals. Every OpenDrawer that got past its refusals counts
// exactly once, good or failed. An OpenDrawer under way when its process was killed may or
// may not have been counted. A statistics mutex abandoned by a killed process makes the next
// count in another process fail (an abandoned mutex counts as a failed wait), so each kill
// may also take one count away.
struct Accounting {
    long survivorsGood = 0;
    long survivorsFailed = 0;
    long killedGood = 0;  // completed before the kill
    long killedFailed = 0;
    long inFlight = 0;
    long kills = 0;

    long Good() const { return survivorsGood + killedGood; }
    long Failed() const { return survivorsFailed + killedFailed; }
    // True when the counted totals are explained by the journals.
    bool Explains(long long countedGood, long long countedFailed, std::string* why) const {
        const long long low = Good() + Failed() - kills;
        const long long high = Good() + Failed() + inFlight;
        const long long total = countedGood + countedFailed;
        char text[256];
        std::snprintf(text, sizeof(text),
                      "counted good %lld failed %lld (total %lld); journals good %ld failed %ld, "
                      "%ld in flight at a kill, %ld kills: total must lie in [%lld, %lld]",
                      countedGood, countedFailed, total, Good(), Failed(), inFlight, kills, low,
                      high);
        *why = text;
        return total >= low && total <= high && countedGood >= Good() - kills &&
               countedGood <= Good() + inFlight && countedFailed >= Failed() - kills &&
               countedFailed <= Failed() + inFlight;
    }
};

}  // namespace soak
