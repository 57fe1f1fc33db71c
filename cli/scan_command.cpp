#include "scan_command.h"

#include "answers.h"
#include "json_writer.h"
#include "kivrel_version.h"
#include "messages.h"
#include "options.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "scan_notes.h"

namespace kivrel::cli {

namespace {

// 1 when the scan reported a message or left a name unresolved that the
// program needs at start-up; API set names with a host count as resolved.
int ExitStatusOf(int messageId, const CReferenceList& references) {
    if (messageId != 0) return 1;
    for (const Reference& entry : references.Entries()) {
        const uint16_t state = entry.State();
        if (state != REF_FOUND && state != REF_API_SET && !entry.delayLoadOnly) return 1;
    }
    return 0;
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        err << "kivrel-scan: " << error << "\nTry 'kivrel-scan --help'.\n";
        return 2;
    }
    if (options.help) {
        out << UsageText();
        return 0;
    }
    if (options.version) {
        out << "kivrel-scan " << KIVREL_VERSION << '\n';
        return 0;
    }

    auto platform = CreateNativePlatform(options.overrides);
    CScanNotes notes(err, options.verbose);
    CReferenceScanner scanner(*platform, &notes);
    scanner.SetLoaderOptions(options.loader);
    CReportLines report;
    const int messageId =
        scanner.Scan(options.module, options.initialDirectory, /*cleanup=*/true, report);
    err << ApiSetHint(scanner.References(), options.loader);

    int status = ExitStatusOf(messageId, scanner.References());
    if (options.json) {
        WriteJsonReport(out, options.module, scanner, report.Lines(), status);
    } else if (WantsAnswer(options)) {
        status = WriteAnswer(options, scanner, messageId != 0 ? MessageText(messageId) : "",
                             status, out, err);
    } else {
        for (const ReportLine& line : report.Lines()) out << line.text << '\n';
    }
    out.flush();
    if (!out) {
        err << "kivrel-scan: cannot write the report\n";
        return 2;
    }
    if (options.copyTo && !CopyFoundModules(options, *platform, scanner, err)) return 1;
    return status;
}

}  // namespace kivrel::cli
