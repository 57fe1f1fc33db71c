// kivrel-bench-generate: writes a synthetic installation and its manifest.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "installation.h"

namespace {

const char kUsage[] =
    "Usage: kivrel-bench-generate [--modules N] [--directories D] [--files F] [--seed S]\n"
    "                             [--extensionless SHARE] [--module-bytes B] OUT\n"
    "       kivrel-bench-generate --corpus SYSTEM_DIR [--corpus WINDOWS_DIR] OUT\n"
    "Writes an installation under OUT (which must be empty or absent) and\n"
    "OUT/installation.txt describing its search order and expected report.\n"
    "With --corpus, OUT only gets an EXE that imports every DLL of SYSTEM_DIR.\n";

bool ParseCount(const std::string& text, unsigned long long& value) {
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    kivrel::bench::InstallationParams params;
    std::string out;
    std::vector<std::string> corpus;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg.rfind("--", 0) != 0) {
            if (!out.empty()) {
                std::cerr << kUsage;
                return 2;
            }
            out = arg;
            continue;
        }
        if (i + 1 >= argc) {
            std::cerr << "kivrel-bench-generate: " << arg << " needs a value\n";
            return 2;
        }
        const std::string value = argv[++i];
        unsigned long long number = 0;
        bool ok = true;
        if (arg == "--corpus") {
            corpus.push_back(value);
        } else if (arg == "--extensionless") {
            char* end = nullptr;
            params.extensionlessShare = std::strtod(value.c_str(), &end);
            ok = *end == '\0';
        } else if (!ParseCount(value, number)) {
            ok = false;
        } else if (arg == "--modules")
            params.modules = number;
        else if (arg == "--directories")
            params.directories = number;
        else if (arg == "--files")
            params.files = number;
        else if (arg == "--seed")
            params.seed = number;
        else if (arg == "--module-bytes")
            params.moduleBytes = number;
        else
            ok = false;
        if (!ok) {
            std::cerr << "kivrel-bench-generate: bad option " << arg << ' ' << value << '\n'
                      << kUsage;
            return 2;
        }
    }
    if (out.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    kivrel::bench::Installation installation;
    std::string error;
    const bool generated =
        corpus.empty()
            ? kivrel::bench::GenerateInstallation(params, out, installation, error)
            : kivrel::bench::GenerateCorpusInstallation(corpus, out, installation, error);
    if (!generated || !kivrel::bench::WriteManifest(params, installation,
                                                    installation.root + "installation.txt")) {
        std::cerr << "kivrel-bench-generate: "
                  << (error.empty() ? "cannot write the manifest" : error) << '\n';
        return 1;
    }
    std::cout << installation.root << "installation.txt\n";
    return 0;
}
