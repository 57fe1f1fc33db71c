// Fuzz target for the import walk: the bytes are scanned as a module, every
// name is resolved against an empty search order, and the report is printed as
// lines and as JSON. The names that reach the reference list must be ones the
// rest of the scan can hold.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "fuzz_check.h"
#include "json_writer.h"
#include "mapped_image.h"
#include "messages.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "text.h"

using kivrel::fuzz::Require;

namespace {

// A file system with no directories at all: every name ends not found.
class CEmptyPlatform : public kivrel::IScanPlatform {
public:
    char PathSeparator() const override { return '/'; }
    std::string SystemDirectory() override { return {}; }
    std::string WindowsDirectory() override { return {}; }
    bool GetPathList(std::string&) override { return false; }
    bool GetEnvironmentValue(const std::string&, std::string&) override { return false; }
    void FindMatches(const std::string&, const std::string&,
                     const kivrel::MatchCallback&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const kivrel::CMappedImage image(data, static_cast<uint32_t>(size));
    CEmptyPlatform platform;
    kivrel::CReferenceScanner scanner(platform);

    int errorId = -1;
    const int isPe = scanner.ScanImage(image, &errorId);
    Require((isPe != 0) == (image.PeHeaders() != nullptr), "result says whether it is a PE image");
    Require(errorId == 0 || errorId == kivrel::IDS_INVALID_NT_SIGNATURE ||
                errorId == kivrel::IDS_SCAN_FAILED || errorId == kivrel::IDS_NO_REFERENCES,
            "error id is one of the scan's messages");
    Require((errorId == kivrel::IDS_INVALID_NT_SIGNATURE) == (isPe == 0),
            "117 exactly for a non-PE");
    Require((errorId == 0) == !scanner.References().empty(),
            "names added exactly when error id is 0");

    for (const kivrel::Reference& entry : scanner.References().Entries()) {
        // At most 259 characters from the file, plus the '.' of an extension-less name.
        Require(entry.text.size() <= kivrel::kMaxPath, "name fits a path buffer and its '.'");
        Require(entry.text.find('.') != std::string::npos, "every name holds a '.'");
        Require(entry.text.find('\0') == std::string::npos, "a name ends at its zero");
        Require(entry.State() == kivrel::REF_PENDING, "names of an import table are pending");
    }

    scanner.ResolveReferences();
    for (const kivrel::Reference& entry : scanner.References().Entries()) {
        Require(entry.State() == kivrel::REF_NOT_FOUND,
                "with no directory, every name is not found");
    }

    kivrel::CReportLines report;
    scanner.ReportReferences(report);
    Require(report.Lines().empty() == scanner.References().empty(),
            "a report exactly when names exist");
    std::ostringstream json;
    kivrel::cli::WriteJsonReport(json, "fuzz", scanner, report.Lines(), 1);
    return 0;
}
