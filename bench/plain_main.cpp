// kivrel-bench-plain: the plain scan behind kivrel-scan's options. Prints each
// report line as "VALUE<TAB>TEXT", so that both the texts and the item values
// can be compared with the "lines" of kivrel-scan --json.
#include <iostream>
#include <string>
#include <vector>

#include "options.h"
#include "plain_directory_platform.h"
#include "plain_scan.h"
#include "report_lines.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    kivrel::cli::Options options;
    std::string error;
    if (!kivrel::cli::ParseOptions(args, options, error) || options.json || options.help ||
        options.version) {
        std::cerr << "kivrel-bench-plain: "
                  << (error.empty() ? "only the report options are taken" : error) << '\n';
        return 2;
    }
    kivrel::bench::CPlainDirectoryPlatform platform(
        kivrel::CreateNativePlatform(options.overrides));
    kivrel::bench::CPlainScan scan(platform);
    kivrel::CReportLines report;
    scan.Scan(options.module, options.initialDirectory, report);
    for (const kivrel::ReportLine& line : report.Lines()) {
        std::cout << line.value << '\t' << line.text << '\n';
    }
    std::cout << std::flush;
    return std::cout ? 0 : 2;
}
