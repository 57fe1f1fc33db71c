// Fuzz target for the import walk: the bytes scanned as a module, resolved
// against an empty search order, reported as lines and as JSON.
#include <sstream>

#include "fuzz_check.h"
#include "json_writer.h"
#include "mapped_image.h"
#include "messages.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "report_writer.h"
#include "text.h"

using namespace kivrel;
using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CMappedImage image(data, fuzz::Size32(size));
    const std::unique_ptr<IScanPlatform> platform = CreateNativePlatform();
    CReferenceScanner scanner(*platform);

    const ModuleRead module = scanner.ScanImage(image);
    const int errorId = module.errorId;
    const bool isPe = module.isPe;
    Require(isPe == (image.ImageType() == IMAGE_PE), "result says whether it is a PE image");
    Require(errorId == 0 || errorId == IDS_INVALID_NT_SIGNATURE || errorId == IDS_SCAN_FAILED ||
                errorId == IDS_NO_REFERENCES,
            "error id is one of the scan's messages");
    Require((errorId == IDS_INVALID_NT_SIGNATURE) == !isPe, "117 exactly for a non-PE");
    Require((errorId == 0) == !scanner.References().empty(),
            "names added exactly when error id is 0");
    for (const Reference& entry : scanner.References().Entries()) {
        // At most 259 characters from the file, plus the '.' of an extension-less name.
        Require(entry.text.size() <= kMaxPath, "name fits a path buffer and its '.'");
        Require(entry.text.find('.') != std::string::npos, "every name holds a '.'");
        Require(entry.text.find('\0') == std::string::npos, "a name ends at its zero");
        Require(entry.State() == REF_PENDING, "names of an import table are pending");
    }

    scanner.ResolveReferences();
    for (const Reference& entry : scanner.References().Entries())
        Require(entry.State() == REF_NOT_FOUND, "with no directory, every name is not found");
    const CScanResult result(scanner, "fuzz", module);
    CReportLines report;
    WriteReport(result, report);
    Require(report.Lines().empty() == scanner.References().empty(),
            "a report exactly when names exist");
    std::ostringstream json;
    cli::WriteJsonReport(json, result, report.Lines());
    return 0;
}
