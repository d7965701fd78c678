// The soak's bookkeeping, apart from Windows: journals, what the supervisor reads back, and the
// accounting of the statistics against the attempts the journals show.
// A journal has one line per event, its word first (those ReadJournal reads), times (T) in ms of
// the clock every process shares; "ev STATUS T OWNER" is a change told with the port's owner.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "util/opos_constants.h"

namespace soak {

// OPOS results a cycle meets.
constexpr long kSuccess = 0;
constexpr long kClaimed = 102;
constexpr long kFailure = 111;
constexpr long kTimeout = 112;

constexpr long long kOpenEnd = INT64_MAX;  // an interval still open when the journal ends

struct Change {
    long status;
    long long at;
    int session;  // the cycle (a watcher: the session) it arrived in
    long owner;   // the port owner's process id then
};
struct Interval {
    long long from, to;
};
// An OpenDrawer or WaitForDrawerClose that returned 102: claimed by another process.
struct Refusal {
    std::string call;
    Interval during;
};
// One session of a watcher: the openings it was told of against the simulator's count.
struct Watch {
    long long from = -1, openingsFrom = -1;
    long long to = -1, openingsTo = -1;  // -1 until it ends (a killed one: the supervisor's)
    long reported = 0;
    long ownerChanges = 0;  // the port went to another process between two changes
};

struct Incarnation {
    bool watcher = false, killed = false;  // killed: ended by the supervisor
    int slot = 0, number = 0;  // number: 0 for the first process of a slot, then 1, 2, ...
    unsigned long exitCode = 0;
    int cycles = 0;     // cycles begun
    bool done = false;  // reached its last cycle's end
    long warmHandles = -1, endHandles = -1;
    long goodOpens = 0;                      // OpenDrawer returned 0
    long failedOpens = 0;                    // OpenDrawer returned 111 or 112
    long inFlight = 0;                       // OpenDrawer begun, not returned (killed meanwhile)
    long openRefusals = 0;                   // OpenService 111 with OpenResult 456
    std::map<long, long> openDrawerResults;  // OpenDrawer result -> how often
    std::map<std::string, long> longestMs;   // call name -> longest duration
    std::vector<std::string> violations;
    std::string lastLine;
    std::vector<Change> changes;
    std::vector<Interval> claims;  // a claim may have been held (ends at kOpenEnd if killed)
    std::vector<Refusal> refusals;
    std::vector<Watch> watches;  // watchers
};

// Reads a journal into inc (slot, number, killed and exitCode are the caller's).
inline void ReadJournal(const std::string& text, Incarnation* inc) {
    std::istringstream in(text);
    std::string line;
    bool open = false;
    int session = 0;
    long long odBegin = 0, waitBegin = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        inc->lastLine = line;
        std::istringstream words(line);
        std::string word, name;
        words >> word;
        if (word == "violation") {
            std::getline(words, name);
            inc->violations.push_back(name.empty() ? "?" : name.substr(1));
            continue;
        }
        if (word == "call") words >> name;
        std::vector<long long> n;
        for (long long v; words >> v;) n.push_back(v);
        n.resize(3, -1);  // a line cut short by a kill leaves its numbers unknown
        const long result = static_cast<long>(n[0]);
        if (word == "warm") {
            inc->warmHandles = result;
        } else if (word == "cycle") {
            ++inc->cycles;
            session = static_cast<int>(n[0]);
        } else if (word == "session") {
            session = static_cast<int>(n[0]);
        } else if (word == "od-begin") {
            open = true;
            odBegin = n[0];
        } else if (word == "wait-begin") {
            waitBegin = n[0];
        } else if (word == "wait-end" && result == kClaimed) {
            inc->refusals.push_back({"WaitForDrawerClose", {waitBegin, n[1]}});
        } else if (word == "claim-begin") {
            inc->claims.push_back({n[0], kOpenEnd});
        } else if (word == "released" && !inc->claims.empty()) {
            inc->claims.back().to = n[0];
        } else if (word == "ev") {
            const Change c{result, n[1], session, static_cast<long>(n[2])};
            if (!inc->watches.empty() && inc->watches.back().to < 0) {
                Watch& w = inc->watches.back();
                w.reported += c.status == 1 ? 1 : 0;
                if (!inc->changes.empty() && inc->changes.back().session == c.session &&
                    inc->changes.back().owner != c.owner) {
                    ++w.ownerChanges;
                }
            }
            inc->changes.push_back(c);
        } else if (word == "watching") {
            Watch w;
            w.from = n[0];
            w.openingsFrom = n[1];
            inc->watches.push_back(w);
        } else if (word == "stopped" && !inc->watches.empty()) {
            inc->watches.back().to = n[0];
            inc->watches.back().openingsTo = n[1];
        } else if (word == "call") {
            long& longest = inc->longestMs[name];
            longest = std::max(longest, static_cast<long>(n[1]));
        } else if (word == "od-end") {
            open = false;
            ++inc->openDrawerResults[result];
            if (result == kSuccess) {
                ++inc->goodOpens;
            } else if (result == kFailure || result == kTimeout) {
                ++inc->failedOpens;
            } else if (result == kClaimed) {
                inc->refusals.push_back({"OpenDrawer", {odBegin, n[1]}});
            } else {
                inc->violations.push_back("OpenDrawer returned " + std::to_string(result));
            }
        } else if (word == "open-refused") {
            ++inc->openRefusals;
        } else if (word == "done") {
            inc->done = true;
            inc->endHandles = static_cast<long>(n[1]);
        }
    }
    if (open) inc->inFlight = 1;
}

// The statistics against the journals. Every OpenDrawer that got past its refusals counts
// once, good or failed; an OpenDrawer under way when its process was killed may or may not
// have been counted.
struct Accounting {
    long survivorsGood = 0, survivorsFailed = 0;
    long killedGood = 0, killedFailed = 0;  // completed before the kill
    long inFlight = 0;

    long Good() const { return survivorsGood + killedGood; }
    long Failed() const { return survivorsFailed + killedFailed; }
    // True when the counted totals are explained by the journals.
    bool Explains(long long countedGood, long long countedFailed, std::string* why) const {
        char text[256];
        std::snprintf(text, sizeof(text),
                      "counted good %lld failed %lld; journals good %ld failed %ld, %ld in "
                      "flight at a kill",
                      countedGood, countedFailed, Good(), Failed(), inFlight);
        *why = text;
        const long long total = countedGood + countedFailed;
        return countedGood >= Good() && countedFailed >= Failed() &&
               total <= Good() + Failed() + inFlight && countedGood <= Good() + inFlight &&
               countedFailed <= Failed() + inFlight;
    }
};

// Within one session a process is told of every change: open and closed alternate. The same
// state twice in a row means a change in between was lost for this process.
inline void CheckAlternation(const Incarnation& inc, const std::string& name,
                             std::vector<std::string>* problems) {
    for (size_t i = 1; i < inc.changes.size(); ++i) {
        const Change &a = inc.changes[i - 1], &b = inc.changes[i];
        if (a.session != b.session || a.status != b.status) continue;
        problems->push_back(name + "told of the drawer " + (b.status ? "opening" : "closing") +
                            " twice in a row (at " + std::to_string(a.at) + " and " +
                            std::to_string(b.at) + " ms): a change between was lost");
    }
}

// A 102 is right only while another process may hold a claim.
inline void CheckRefusals(const std::vector<Incarnation>& all, std::vector<std::string>* problems) {
    for (const Incarnation& inc : all) {
        for (const Refusal& r : inc.refusals) {
            bool claimed = false;
            for (const Incarnation& other : all) {
                for (const Interval& c : other.claims) {
                    claimed |= &other != &inc && c.from <= r.during.to && r.during.from <= c.to;
                }
            }
            if (claimed) continue;
            problems->push_back(r.call + " returned 102 between " + std::to_string(r.during.from) +
                                " and " + std::to_string(r.during.to) +
                                " ms while no other process held or sought a claim");
        }
    }
}

// A watcher's session against the controller's openings: one may fall outside the count at
// either end, and one may pass unseen per hand-over of the port (`ownerKills` during the
// session, and the owner changes the watcher saw).
inline bool WatchExplained(const Watch& w, long ownerKills, std::string* why) {
    const long long made = w.openingsTo - w.openingsFrom;
    char text[200];
    std::snprintf(text, sizeof(text),
                  "told of %ld openings while the controller made %lld (%ld owners killed, "
                  "%ld hand-overs)",
                  w.reported, made, ownerKills, w.ownerChanges);
    *why = text;
    return w.reported <= made + 1 && w.reported >= made - ownerKills - w.ownerChanges - 1;
}

}  // namespace soak
