// The whole scan written down plainly from the algorithm, with nothing done
// for speed: the plain reference list, a search for the next pending entry
// from index 0 after every step, and each directory searched through the
// platform afresh. Its report is what the optimised CReferenceScanner must
// reproduce byte for byte.
#pragma once

#include <string>

#include "plain_reference_list.h"
#include "platform.h"
#include "reference_scanner.h"

namespace kivrel::bench {

class CPlainScan {
public:
    explicit CPlainScan(IScanPlatform& platform) : m_platform(platform) {}

    // The scan command with "Cleanup before scan" on.
    void Scan(const std::string& modulePath, const std::string& initialDirectory,
              IReportSink& sink);

    const CPlainReferenceList& References() const { return m_references; }

private:
    int ScanModule(const std::string& path, int* errorId = nullptr);
    void ResolveReferences();
    void Report(IReportSink& sink) const;

    IScanPlatform& m_platform;
    std::vector<std::string> m_directories;
    CPlainReferenceList m_references;
};

}  // namespace kivrel::bench
