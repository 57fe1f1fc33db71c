// Shared by the hostile tests: a temporary directory, a platform that searches
// it, a scanner, and modules written with the PE writer.
#pragma once

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"

namespace kivrel::test {

// The state of the entry for `name` (compared without regard to case), or -1.
inline int StateOf(const CReferenceScanner& scanner, const std::string& name) {
    for (const Reference& entry : scanner.References().Entries())
        if (EqualsNoCase(entry.text, name)) return entry.State();
    return -1;
}

struct HostileScan : ::testing::Test {
    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner{platform};
    CReportLines report;
};

}  // namespace kivrel::test
