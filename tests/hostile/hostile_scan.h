// Shared by the hostile-input tests: write modules with the PE writer, run a
// whole scan with a watchdog, and read back the state of a reference.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "reference_scanner.h"
#include "temp_dir.h"

namespace kivrel::test {

// A module importing `imports`, as the PE writer builds it.
std::vector<uint8_t> ModuleImporting(const std::vector<std::string>& imports);

class CCollectedReport : public IReportSink {
public:
    void ResetLines() override { lines.clear(); }
    void AddLine(const std::string& text, uint32_t) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

// Records every directory the scan left out, with its reason.
class CSkipRecorder : public IScanObserver {
public:
    void OnDirectorySkipped(const std::string& directory, const char* reason) override {
        skipped.emplace_back(directory, reason);
    }
    std::vector<std::pair<std::string, std::string>> skipped;
};

// Runs `work` and fails the whole test binary if it has not returned within
// `limit`: a scan that blocks on a special file must not hang the suite.
void FinishWithin(std::chrono::seconds limit, const std::function<void()>& work);

// The entry for `name` (compared without regard to case), or null.
const Reference* FindReference(const CReferenceScanner& scanner, const std::string& name);

}  // namespace kivrel::test
