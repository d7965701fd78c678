// Where the service's failures reach the event log and its counts reach the reliability
// counters and the statistics.
#include "so/cash_drawer.h"
#include "stats/cash_drawer_stats.h"

void CCashDrawer::ReportErrorRecord(DWORD eventId, LONG data, int operationText) {
    m_ras.ReportError(kRasReportVerbose, eventId, OperationTextFor(operationText, m_nLanguage),
                      data);
}

void CCashDrawer::ReportRecord(int level, DWORD eventId, int operationText) {
    m_ras.ReportError(level, eventId, OperationTextFor(operationText, m_nLanguage));
}

void CCashDrawer::CountCommunicationError() {
    m_devStat.IncrementCounter(kStatTableUpos, kStatRowCommunicationErrorCount);
}

void CCashDrawer::CountDrawerOpen(bool good) {
    if (good) {
        m_ras.IncrementCounter(0);
        m_devStat.IncrementCounter(kStatTableUpos, kStatRowDrawerGoodOpenCount);
    } else {
        m_devStat.IncrementCounter(kStatTableUpos, kStatRowDrawerFailedOpenCount);
    }
}
