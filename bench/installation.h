// Synthetic installations for the benchmarks: an EXE at the root of a random
// DAG of DLL imports, spread over a search order of directories that also hold
// unrelated files, shadowed copies, non-PE decoys and a few missing names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivrel::bench {

struct InstallationParams {
    size_t modules = 3000;    // DLLs, every one reachable from the EXE
    size_t directories = 25;  // search directories, the EXE's own included (at least 3)
    size_t files = 40000;     // files in all directories together, modules included
    uint64_t seed = 1;
    double extensionlessShare = 0.01;  // imports written without their ".dll"
    size_t moduleBytes = 0;            // extra section bytes per module, for realistic sizes
};

struct Installation {
    std::string root;
    std::string module;                    // the EXE
    std::string systemDirectory;           // second search directory
    std::string windowsDirectory;          // third
    std::string pathList;                  // the rest, ';'-separated
    std::vector<std::string> directories;  // the whole search order, each ending in '/'
    // What any correct resolver must report: full paths of the modules as the
    // file system names them, and the names that are missing or not PE images.
    std::vector<std::string> expectedFound;
    std::vector<std::string> expectedUnresolved;
    // "IMPORTER -> MODULE!NAME" for each imported function that its found
    // module lacks (the function check's report lines, in no particular order).
    std::vector<std::string> expectedMissingFunctions;
    size_t modules = 0;       // DLLs generated, or imported by a corpus EXE
    size_t filesWritten = 0;  // files in the search directories
};

// Writes the installation under `root` (created; must not hold anything yet).
bool GenerateInstallation(const InstallationParams& params, const std::string& root,
                          Installation& installation, std::string& error);

// A real corpus as an installation: an EXE under `root` that imports every DLL
// of the first corpus directory, which is the system directory; the second,
// if given, is the Windows directory. Nothing is expected of the report.
bool GenerateCorpusInstallation(const std::vector<std::string>& corpus, const std::string& root,
                                Installation& installation, std::string& error);

// installation.txt: key=value lines the peers and the benchmark driver read.
bool WriteManifest(const InstallationParams& params, const Installation& installation,
                   const std::string& path);

}  // namespace kivrel::bench
