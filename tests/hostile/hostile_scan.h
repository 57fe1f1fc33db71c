// Shared by the hostile-input tests: modules written with the PE writer, a
// whole scan with a watchdog, and the state of a reference by name.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"

namespace kivrel::test {

// A module importing `imports`, as the PE writer builds it.
std::vector<uint8_t> ModuleImporting(const std::vector<std::string>& imports);

// Runs `work` and fails the whole test binary if it has not returned within
// `limit`: a scan that blocks on a special file must not hang the suite.
void FinishWithin(std::chrono::seconds limit, const std::function<void()>& work);

// The entry for `name` (compared without regard to case), or null; its state, or -1.
const Reference* FindReference(const CReferenceScanner& scanner, const std::string& name);
int StateOf(const CReferenceScanner& scanner, const std::string& name);

// A temporary directory, a platform that searches it, and a scanner.
class HostileScan {
protected:
    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner{platform};
    CReportLines report;
};

}  // namespace kivrel::test
