// What one module's file says, read once: whether the scan takes it as a PE
// image, the message line it gives, its machine type and the module names its
// import tables hold. A module's facts travel with this value; nothing about
// the last module read is kept anywhere else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "function_check.h"
#include "manifest.h"
#include "messages.h"

namespace kivrel {

class CMappedImage;

// Why a file's import names were not read: the message line or the
// incorrect name says that they were not, this says why.
enum class ReadFailure : uint8_t {
    NONE,           // a PE image of an acceptable machine type
    UNREADABLE,     // not opened: missing, no regular file, no access, path too long
    UNMAPPABLE,     // opened but not mapped (an empty file among others)
    NO_MZ,          // no "MZ" at its start
    NO_PE,          // an MZ program without a PE header (DOS, NE, LE)
    OTHER_MACHINE,  // a PE image of another machine type than required
};

struct ModuleReadOptions {
    bool delayLoad = false;         // also read the delay-load import table
    uint16_t requiredMachine = 0;   // nonzero: an image of another machine is passed over
    bool functions = false;         // also what the function check needs of a PE image
    FunctionMemory functionMemory;  // where those are kept; null: each module apart
    // Also read the manifest resource that applies: for the module a scan
    // names, ID 1 of an EXE (ID 2 of a DLL); for any other module, ID 2.
    bool manifest = false;
    bool namedModule = false;
};

struct ModuleRead {
    // A PE image of an acceptable machine type: its import names were read.
    bool isPe = false;
    // 0, or the message the module gives: IDS_INVALID_NT_SIGNATURE,
    // IDS_SCAN_FAILED (an untranslatable import table) or IDS_NO_REFERENCES.
    int errorId = IDS_INVALID_NT_SIGNATURE;
    ReadFailure failure = ReadFailure::UNREADABLE;
    // The file header's Machine field; 0 when unreadable.
    uint16_t machine = 0;
    // Names as the tables hold them, in table order.
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;  // only with ModuleReadOptions::delayLoad
    // Only with ModuleReadOptions::functions: one entry of its imports for
    // each name of `imports` and then of `delayImports`.
    std::shared_ptr<const ModuleFunctions> functions;
    ModuleManifest manifest;  // only with ModuleReadOptions::manifest
};

// A file that matched an import's name and was passed over, and why.
struct PassedOver {
    std::string name;  // the import's text
    std::string path;
    ReadFailure failure;
    uint16_t machine;  // the file's, for OTHER_MACHINE
};

ModuleRead ReadModule(const CMappedImage& image, const ModuleReadOptions& options);
// A path that does not fit a path buffer cannot be opened by the platform's
// narrow-character calls: it reads as a file that failed to open.
ModuleRead ReadModuleFile(const std::string& path, const ModuleReadOptions& options);

// Every file read once, however many scans ask for it: an audit's roots share
// their dependencies. Reads with other options are kept apart.
class CModuleReadCache {
public:
    const ModuleRead& Read(const std::string& path, const ModuleReadOptions& options);

private:
    std::unordered_map<std::string, ModuleRead> m_reads;
};

}  // namespace kivrel
