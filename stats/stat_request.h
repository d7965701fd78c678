// Resolution of the request text of RetrieveStatistics, ResetStatistics and UpdateStatistics
// into request records: tokens, categories, duplicates, unknown names, counter values and
// access rights. Runs on the block's slots while the caller holds the device's mutex.
// Pure C++; no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stats/stat_block.h"
#include "stats/stat_types.h"

struct StatRequestResult {
    int32_t result = 0;     // OPOS_SUCCESS, OPOS_E_ILLEGAL or OPOS_E_EXTENDED
    int32_t extended = 0;   // OPOS_ESTATS_ERROR with OPOS_E_EXTENDED, else 0
    bool resolved = false;  // the request got as far as its list of statistics
    std::vector<STATREQ> records;
};

// Resolves request (mode kStatModeRetrieve, kStatModeUpdate or kStatModeReset) against the
// statistics of block. On OPOS_SUCCESS and OPOS_E_EXTENDED the records are filled; on
// OPOS_E_ILLEGAL they are empty.
StatRequestResult ResolveStatRequest(const StatBlock& block, int32_t mode,
                                     const std::string& request);
