// The --json document of kivrel-scan.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "reference_scanner.h"

namespace kivrel::cli {

using ReportLines = std::vector<std::pair<std::string, uint32_t>>;

// Writes `text` as a JSON string. Bytes are not assumed to be UTF-8: every
// byte of 0x80 or above is written as \u00XX, so the text round-trips byte
// for byte.
void WriteJsonString(std::ostream& out, const std::string& text);

void WriteJsonReport(std::ostream& out, const std::string& module,
                     const CReferenceScanner& scanner, const ReportLines& lines, int exitStatus);

}  // namespace kivrel::cli
