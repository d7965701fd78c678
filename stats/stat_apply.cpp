// Application of reset and update records.
#include "stats/stat_apply.h"

#include "util/config_rules.h"
#include "util/opos_constants.h"

namespace {

int32_t ApplyOne(int32_t mode, const StatTables& tables, const STATREQ& record, StatWriter& store) {
    if (record.nTable != kStatTableEquipment && record.nTable != kStatTableUpos) {
        return OPOS_E_ILLEGAL;
    }
    if (tables.rows[record.nTable] == nullptr || record.nRow < 0 ||
        record.nRow >= tables.counts[record.nTable]) {
        return OPOS_E_ILLEGAL;
    }
    const STATDEF& def = tables.rows[record.nTable][record.nRow];
    if (def.bPersistent != 1) return OPOS_E_ILLEGAL;

    if (def.nType == kStatTypeCounter) {
        if (mode == kStatModeUpdate) {
            return store.SetCounter(record.nTable, record.nRow, record.llCounter);
        }
        if (mode == kStatModeReset) {
            if (def.szDefault[0] == '\0') return OPOS_E_ILLEGAL;
            return store.SetCounter(record.nTable, record.nRow, LongFromText(def.szDefault));
        }
        return OPOS_E_ILLEGAL;
    }
    if (def.nType == kStatTypeText) {
        if (mode == kStatModeUpdate)
            return store.SetText(record.nTable, record.nRow, record.szText);
        if (mode == kStatModeReset) return store.SetText(record.nTable, record.nRow, def.szDefault);
    }
    return OPOS_E_ILLEGAL;
}

}  // namespace

size_t ApplyStatistics(int32_t mode, const StatTables& tables, const STATREQ* records, size_t count,
                       StatWriter& store) {
    if (records == nullptr) return count;
    size_t failed = 0;
    for (size_t i = 0; i < count; ++i) {
        if (ApplyOne(mode, tables, records[i], store) != OPOS_SUCCESS) ++failed;
    }
    return failed;
}
