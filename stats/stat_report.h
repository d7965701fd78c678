// The UnifiedPOS statistics document (UPOSStat) of RetrieveStatistics, written from the
// block and the resolved request records. Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <string>

#include "stats/stat_block.h"
#include "stats/stat_types.h"

// XML escaping of a value: & < > " ' as entities, & first so entities are not escaped again.
std::string XmlEscape(const std::string& text);

// The document, each line ending with CR LF. Counter records (table 1) and manufacturer
// records (table 2) are written from the last to the first; identification statistics are
// always written, rows 0 to 3 even when empty and the later rows only when they hold text.
std::string WriteStatReport(const StatBlock& block, const STATREQ* records, size_t count);
