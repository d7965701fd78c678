// The statistics methods of the service object as frames around the store: which refusals
// come first, how the store's results combine, and where the method left off (the exit point
// of its exit trace record). The service object clears its results and writes the trace
// records; it copies result and resultCodeExtended into ResultCode and ResultCodeExtended.
#pragma once

#include <windows.h>

#include <string>

#include "stats/dev_stat.h"
#include "stats/stat_types.h"

// ResultCodeExtended of a report built while the device is disabled.
constexpr LONG kStatReportDisabledExtended = 400;

// The service object's state as the frames check it.
struct StatMethodState {
    bool opened = false;
    bool claimedByOther = false;
    bool enabled = false;
    bool capStatisticsReporting = false;
    bool capUpdateStatistics = false;
};

struct StatMethodOutcome {
    LONG result = 0;
    LONG resultCodeExtended = 0;
    LONG exitPoint = 0;  // reset/update: 1 refused, 2 request, 3 applied; retrieve: 1, 2, 5
};

// ResetStatistics: refusals 101, 102, 105, 106 (no statistics capability) at exit point 1;
// a request the store refuses at 2; otherwise the statistics are reset to their defaults,
// and 114 with 282 when none could be, 114 with 280 when some could not (exit point 3).
StatMethodOutcome ResetStatisticsFrame(CDevStat& stats, const StatTables& tables,
                                       const StatMethodState& state, const char* request);
// UpdateStatistics: as ResetStatisticsFrame, with the values the request gives.
StatMethodOutcome UpdateStatisticsFrame(CDevStat& stats, const StatTables& tables,
                                        const StatMethodState& state, const char* request);
// RetrieveStatistics: *buffer holds the request and receives the document. Only an open
// service is required; a disabled device gets the report with ResultCodeExtended 400.
StatMethodOutcome RetrieveStatisticsFrame(CDevStat& stats, const StatMethodState& state,
                                          std::string* buffer);

// At the end of OpenService: an InstallationDate still empty becomes today's date.
LONG StampInstallationDate(CDevStat& stats);
