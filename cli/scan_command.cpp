#include "scan_command.h"

#include <sstream>

#include "answers.h"
#include "audit_command.h"
#include "file_ops.h"
#include "json_writer.h"
#include "kivrel_version.h"
#include "loader_setup.h"
#include "options.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "scan_notes.h"

namespace kivrel::cli {

namespace {
bool WriteSucceeded(std::ostream& out, std::ostream& err) {
    out.flush();
    if (!out) err << "kivrel-scan: cannot write the report\n";
    return static_cast<bool>(out);
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

    // A bare host name is taken from here, as a bare module name is: its
    // directory begins the plug-in's search order.
    if (!options.loader.hostPath.empty()) {
        options.loader.hostPath = AbsolutePath(options.loader.hostPath);
    }
    // A host that cannot be read would leave the plug-in's imports of it
    // missing without a word.
    if (!options.loader.hostPath.empty() && !ReadModuleFile(options.loader.hostPath, {}).isPe) {
        err << "kivrel-scan: the host " << options.loader.hostPath << " is not a PE image\n";
        return 2;
    }
    LoaderScanSetup setup;
    if (!PrepareLoaderScan(options.module, options.loader, options.folders, options.overrides,
                           options.knownDlls, setup, error)) {
        err << "kivrel-scan: " << error << '\n';
        return 2;
    }
    const CKnownDlls& knownDlls = setup.knownDlls;
    IScanPlatform& platform = *setup.platform;
    if (options.loader.knownDlls && options.verbose) {
        err << "KnownDLLs: " << knownDlls.size() << " names from " << knownDlls.Source() << '\n';
    }
    if (options.audit) {
        const int status = RunAudit(options, knownDlls, out, err);
        return WriteSucceeded(out, err) ? status : 2;
    }

    // Standard error follows the report: a note printed before it would
    // scroll away above it or land inside it when both go to one terminal.
    std::ostringstream notes;
    CScanNotes observer(notes, options.verbose, /*passedOver=*/false);
    CReferenceScanner scanner(platform, &observer);
    scanner.SetLoaderOptions(options.loader);
    scanner.SetKnownDlls(&knownDlls);
    CReportLines report;
    // A relative path names the module from here; its directory is searched.
    const CScanResult result = scanner.Scan(AbsolutePath(options.module), options.initialDirectory,
                                            /*cleanup=*/true, report);
    if (options.verbose) WriteFunctionReasons(notes, result);

    int status = result.ExitStatus();
    if (options.json) {
        WriteJsonReport(out, result, report.Lines());
    } else if (WantsAnswer(options)) {
        status = WriteAnswer(options, result, out, notes);
    } else {
        for (const ReportLine& line : report.Lines()) out << line.text << '\n';
    }
    out.flush();
    WriteScanNotes(notes, options, result);
    err << notes.str();
    if (!WriteSucceeded(out, err)) return 2;
    if (options.copyTo && !CopyFoundModules(options, platform, result, err)) return 1;
    return status;
}

}  // namespace kivrel::cli
