// kivrel-scan: the scan and report of Kivrel on the command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "answers.h"
#include "json_writer.h"
#include "kivrel_version.h"
#include "options.h"
#include "reference_scanner.h"
#include "scan_notes.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using kivrel::cli::ReportLines;

class CLineCollector : public kivrel::IReportSink {
public:
    void ResetLines() override { lines.clear(); }
    void AddLine(const std::string& text, uint32_t value) override {
        lines.emplace_back(text, value);
    }
    ReportLines lines;
};

// 1 when the scan reported a message (a first line that is neither a path
// nor the empty line before a group) or left a name unresolved that the
// program needs at start-up. API set names with a host count as resolved.
int ExitStatusOf(const ReportLines& lines, const kivrel::CReferenceList& references) {
    if (!lines.empty() && lines.front().second == 0 && !lines.front().first.empty()) return 1;
    for (const kivrel::Reference& entry : references.Entries()) {
        const uint16_t state = entry.State();
        if (state != kivrel::REF_FOUND && state != kivrel::REF_API_SET && !entry.delayLoadOnly) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Report lines end in "\n" on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    kivrel::cli::Options options;
    std::string error;
    if (!kivrel::cli::ParseOptions(args, options, error)) {
        std::cerr << "kivrel-scan: " << error << "\nTry 'kivrel-scan --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << kivrel::cli::UsageText();
        return 0;
    }
    if (options.version) {
        std::cout << "kivrel-scan " << KIVREL_VERSION << '\n';
        return 0;
    }

    auto platform = kivrel::CreateNativePlatform(options.overrides);
    kivrel::cli::CScanNotes notes(std::cerr, options.verbose);
    kivrel::CReferenceScanner scanner(*platform, &notes);
    scanner.SetLoaderOptions(options.loader);
    CLineCollector report;
    scanner.Scan(options.module, options.initialDirectory, /*cleanup=*/true, report);
    std::cerr << kivrel::cli::ApiSetHint(scanner.References(), options.loader);

    int status = ExitStatusOf(report.lines, scanner.References());
    if (options.json) {
        kivrel::cli::WriteJsonReport(std::cout, options.module, scanner, report.lines, status);
    } else if (kivrel::cli::WantsAnswer(options)) {
        // The scan's message line, if any, is always the report's first.
        const auto& lines = report.lines;
        const bool message = !lines.empty() && lines[0].second == 0 && !lines[0].first.empty();
        status = kivrel::cli::WriteAnswer(options, scanner, message ? lines[0].first : "", status,
                                          std::cout, std::cerr);
    } else {
        for (const auto& line : report.lines) std::cout << line.first << '\n';
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "kivrel-scan: cannot write the report\n";
        return 2;
    }
    if (options.copyTo && !kivrel::cli::CopyFoundModules(options, *platform, scanner, std::cerr)) {
        return 1;
    }
    return status;
}
