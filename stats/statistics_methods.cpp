// Frames of ResetStatistics, UpdateStatistics and RetrieveStatistics.
#include "stats/statistics_methods.h"

#include "stats/cash_drawer_stats.h"
#include "stats/stat_apply.h"
#include "util/opos_constants.h"

namespace {

// Writes through the store; each call takes the device's mutex by itself.
class StoreWriter final : public StatWriter {
public:
    explicit StoreWriter(CDevStat& stats) : m_stats(stats) {}
    int32_t SetCounter(int32_t table, int32_t row, int64_t value) override {
        return m_stats.SetCounter(table, row, value);
    }
    int32_t SetText(int32_t table, int32_t row, const char* text) override {
        return m_stats.SetText(table, row, text);
    }

private:
    CDevStat& m_stats;
};

StatMethodOutcome Outcome(LONG result, LONG extended, LONG exitPoint) {
    StatMethodOutcome outcome;
    outcome.result = result;
    outcome.resultCodeExtended = extended;
    outcome.exitPoint = exitPoint;
    return outcome;
}

StatMethodOutcome ChangeStatistics(CDevStat& stats, const StatTables& tables,
                                   const StatMethodState& state, LONG mode, const char* request) {
    if (!state.opened) return Outcome(OPOS_E_CLOSED, 0, 1);
    if (state.claimedByOther) return Outcome(OPOS_E_CLAIMED, 0, 1);
    if (!state.enabled) return Outcome(OPOS_E_DISABLED, 0, 1);
    if (!state.capStatisticsReporting || !state.capUpdateStatistics) {
        return Outcome(OPOS_E_ILLEGAL, 0, 1);
    }

    const STATREQ* records = nullptr;
    LONG count = 0;
    const LONG prepared = stats.PrepareRequest(mode, request, &records, &count);
    const LONG extended = stats.GetResultCodeExtended();
    if (prepared != OPOS_SUCCESS && prepared != OPOS_E_EXTENDED) {
        return Outcome(prepared, extended, 2);
    }

    StoreWriter writer(stats);
    const size_t failed =
        ApplyStatistics(mode, tables, records, static_cast<size_t>(count), writer);
    if (failed >= static_cast<size_t>(count)) {
        return Outcome(OPOS_E_EXTENDED, OPOS_ESTATS_DEPENDENCY, 3);
    }
    if (failed > 0) return Outcome(OPOS_E_EXTENDED, OPOS_ESTATS_ERROR, 3);
    return Outcome(prepared, extended, 3);
}

}  // namespace

StatMethodOutcome ResetStatisticsFrame(CDevStat& stats, const StatTables& tables,
                                       const StatMethodState& state, const char* request) {
    return ChangeStatistics(stats, tables, state, kStatModeReset, request);
}

StatMethodOutcome UpdateStatisticsFrame(CDevStat& stats, const StatTables& tables,
                                        const StatMethodState& state, const char* request) {
    return ChangeStatistics(stats, tables, state, kStatModeUpdate, request);
}

StatMethodOutcome RetrieveStatisticsFrame(CDevStat& stats, const StatMethodState& state,
                                          std::string* buffer) {
    if (!state.opened) return Outcome(OPOS_E_CLOSED, 0, 1);

    const STATREQ* records = nullptr;
    LONG count = 0;
    const LONG prepared = stats.PrepareRequest(
        kStatModeRetrieve, buffer != nullptr ? buffer->c_str() : nullptr, &records, &count);
    if (prepared != OPOS_SUCCESS) return Outcome(prepared, stats.GetResultCodeExtended(), 2);

    const LONG built = stats.BuildReport(records, count, buffer);
    LONG extended = stats.GetResultCodeExtended();
    if (!state.enabled) extended = kStatReportDisabledExtended;
    return Outcome(built, extended, 5);
}

LONG StampInstallationDate(CDevStat& stats) {
    char date[11] = {};
    const LONG read =
        stats.GetText(kStatTableEquipment, kStatRowInstallationDate, date, sizeof(date));
    if (read != OPOS_SUCCESS || date[0] != '\0') return read;
    return stats.SetText(kStatTableEquipment, kStatRowInstallationDate, "");
}
