// The --json document of kivrel-scan.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "report_lines.h"
#include "scan_result.h"

namespace kivrel::cli {

// Writes `text` as a JSON string. Bytes are not assumed to be UTF-8: every
// byte of 0x80 or above is written as \u00XX, so the text round-trips byte
// for byte.
void WriteJsonString(std::ostream& out, const std::string& text);

void WriteJsonReport(std::ostream& out, const CScanResult& result,
                     const std::vector<ReportLine>& lines);

}  // namespace kivrel::cli
