// Writing the records of a reset or update request into the store, statistic by statistic.
// Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stats/stat_types.h"

// The store calls a reset or update goes through; CDevStat implements them.
class StatWriter {
public:
    virtual ~StatWriter() = default;
    virtual int32_t SetCounter(int32_t table, int32_t row, int64_t value) = 0;
    virtual int32_t SetText(int32_t table, int32_t row, const char* text) = 0;
};

// Applies each record in order (mode kStatModeUpdate or kStatModeReset) and returns how many
// could not be applied. Only persistent statistics of tables 0 and 1 are written: an update
// stores the record's value, a reset the definition's default (an empty date default becomes
// today in SetText). A failed record leaves its statistic unchanged and the others go on.
size_t ApplyStatistics(int32_t mode, const StatTables& tables, const STATREQ* records, size_t count,
                       StatWriter& store);
