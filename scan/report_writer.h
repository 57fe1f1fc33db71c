// The report lines of a finished scan, as the results list holds them.
#pragma once

#include "reference_scanner.h"
#include "scan_result.h"

namespace kivrel {

// Found modules' full paths by search directory (item value: reference
// index + 1), then the groups of API sets, names not found and names needed
// only through delay-loading.
void WriteReport(const CScanResult& result, IReportSink& sink);

}  // namespace kivrel
