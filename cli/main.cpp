// kivrel-scan: the scan and report of Kivrel on the command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "bundle_copy.h"
#include "formats.h"
#include "json_writer.h"
#include "messages.h"
#include "options.h"
#include "reference_scanner.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using kivrel::cli::ReportLines;

constexpr const char* kVersion = "1.3.0.1";

class CLineCollector : public kivrel::IReportSink {
public:
    void ResetLines() override { lines.clear(); }
    void AddLine(const std::string& text, uint32_t value) override {
        lines.emplace_back(text, value);
    }
    ReportLines lines;
};

class CVerboseObserver : public kivrel::IScanObserver {
public:
    void OnSearchOrderReady(const std::vector<std::string>& directories) override {
        std::cerr << "search directories:\n";
        for (size_t i = 0; i < directories.size(); ++i) {
            std::cerr << "  " << i << ": " << directories[i] << '\n';
        }
    }
    void OnResolving(const std::string& name) override {
        std::cerr << "resolving " << name << '\n';
    }
    void OnDirectorySkipped(const std::string& directory, const char* reason) override {
        std::cerr << "search directory not added (" << reason << "): " << directory << '\n';
    }
};

// 1 when the report holds a message line or an unresolved name: every line
// with item value 0 that is not an empty separator.
int ExitStatusOf(const ReportLines& lines) {
    for (const auto& [text, value] : lines) {
        if (value == 0 && !text.empty()) return 1;
    }
    return 0;
}

// The formats other than the report lines and JSON. The scan's message line
// (always the report's first line) goes to standard error there. Returns the
// exit status.
int WriteAnswer(const kivrel::cli::Options& options, const kivrel::CReferenceScanner& scanner,
                const ReportLines& lines, int status) {
    using namespace kivrel::cli;
    std::string message;
    if (!lines.empty() && lines[0].second == 0 && !lines[0].first.empty()) message = lines[0].first;
    if (!message.empty()) std::cerr << "kivrel-scan: " << options.module << ": " << message << '\n';
    const bool scanned = message != kivrel::MessageText(kivrel::IDS_INVALID_NT_SIGNATURE);

    const CScanOutcome outcome(options.module, scanner);
    if (options.tree || options.why) {
        const kivrel::CImportGraph graph(scanner.References(), scanner.Edges());
        if (options.why) return WriteWhy(std::cout, std::cerr, outcome, graph, *options.why);
        if (scanned) WriteTree(std::cout, outcome, graph, options.missingOnly);
    } else if (options.ldd) {
        WriteLdd(std::cout, outcome, options.missingOnly);
    } else {
        WriteMissing(std::cout, outcome);
    }
    return status;
}

// --copy-to: the found modules in report order. Returns false when a copy failed.
bool CopyFoundModules(const kivrel::cli::Options& options, kivrel::IScanPlatform& platform,
                      const ReportLines& lines) {
    kivrel::cli::BundleRequest request;
    request.destination = *options.copyTo;
    request.excludedDirectories = options.excludeDirs;
    request.excludedDirectories.push_back(platform.SystemDirectory());
    request.excludedDirectories.push_back(platform.WindowsDirectory());
    request.force = options.force;
    request.verbose = options.verbose;
    std::vector<std::string> paths;
    for (const auto& [text, value] : lines) {
        if (value != 0) paths.push_back(text);
    }
    return kivrel::cli::CopyModules(paths, request, std::cerr);
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
        std::cout << "kivrel-scan " << kVersion << '\n';
        return 0;
    }

    auto platform = kivrel::CreateNativePlatform(options.overrides);
    CVerboseObserver verbose;
    kivrel::CReferenceScanner scanner(*platform, options.verbose ? &verbose : nullptr);
    CLineCollector report;
    scanner.Scan(options.module, options.initialDirectory, /*cleanup=*/true, report);

    int status = ExitStatusOf(report.lines);
    if (options.json) {
        kivrel::cli::WriteJsonReport(std::cout, options.module, scanner, report.lines, status);
    } else if (options.tree || options.why || options.ldd || options.missingOnly) {
        status = WriteAnswer(options, scanner, report.lines, status);
    } else {
        for (const auto& line : report.lines) std::cout << line.first << '\n';
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "kivrel-scan: cannot write the report\n";
        return 2;
    }
    if (options.copyTo && !CopyFoundModules(options, *platform, report.lines)) return 1;
    return status;
}
