// The --json document of kivrel-scan.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "report_lines.h"
#include "scan_result.h"

namespace kivrel::cli {

// Writes `text`, in the system's narrow code page, as a JSON string in
// UTF-8. On Windows the text is converted from the ANSI code page. Elsewhere
// names are bytes: well-formed UTF-8 is written as it is, and every other
// byte of 0x80 or above as \udcXX (U+DC00 + the byte, Python's
// "surrogateescape"), so that os.fsencode gives the bytes back.
void WriteJsonString(std::ostream& out, const std::string& text);

// One entry of a "missingFunctions" array, its importer named by file name;
// `delayLoadOnly` as the module the array belongs to needs it.
void WriteJsonMissingFunction(std::ostream& out, const std::string& importer,
                              const MissingFunction& missing, bool delayLoadOnly);

void WriteJsonReport(std::ostream& out, const CScanResult& result,
                     const std::vector<ReportLine>& lines);

}  // namespace kivrel::cli
