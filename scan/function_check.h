// The function check: every function a found module imports, bound as the
// loader binds it in the module the import resolves to, forwarders followed.
// The scan stands behind IFunctionSource; the check runs again until no
// forwarder's module is pending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "export_table.h"
#include "import_thunks.h"

namespace kivrel {

class CMappedImage;

// Modules as the source names them (the scan: reference serials).
using ModuleId = uint64_t;

// The most forwarders followed from one import; a longer chain binds nothing.
constexpr int kMaxForwarderHops = 32;

// Where the arrays of module reads are kept. One scan's reads share one
// monotonic arena: thousands of small arrays lie together, apart from the
// scan's other data, and are freed together when the last read goes.
using FunctionMemory = std::shared_ptr<std::pmr::memory_resource>;
FunctionMemory NewFunctionMemory();

// What one module gives the check, read once from its mapped image.
struct ModuleFunctions {
    // `importWalk`, when given, receives how the import table's walk ended;
    // with no `memory` the module gets an arena of its own.
    ModuleFunctions(const CMappedImage& image, bool delayLoad, WalkResult* importWalk = nullptr,
                    FunctionMemory memory = nullptr);

    FunctionMemory memory;  // declared first: it outlives the arrays
    ImportedFunctions imports;
    CExportTable exports;
};

struct MissingFunction {
    ModuleId importer = 0;
    std::string module;  // the import's module name, as the import table writes it
    std::string name;    // empty for one imported by ordinal
    uint16_t ordinal = 0;
    bool byOrdinal = false;
    std::string forwardedTo;  // "TARGET!NAME" of the last link that failed, when one was followed
    bool delayLoadOnly = false;
    std::string reason;  // why it does not bind
};

// "NAME", or "#ORDINAL" for a function imported by ordinal.
std::string FunctionText(std::string_view name, uint16_t ordinal, bool byOrdinal);
inline std::string FunctionText(const MissingFunction& m) {
    return FunctionText(m.name, m.ordinal, m.byOrdinal);
}

class IFunctionSource {
public:
    enum Resolution { RESOLVED, UNRESOLVED, PENDING };
    virtual ~IFunctionSource() = default;
    // The module that import `descriptor` of module `importer` (its entry in
    // ModuleFunctions::imports.modules) resolves to: RESOLVED or UNRESOLVED.
    virtual Resolution ResolveImport(ModuleId importer, size_t descriptor, ModuleId& module) = 0;
    // The module that a forwarder of module `exporter` names, resolved as an
    // import of `exporter`; a name the scan does not hold yet joins it as a
    // dependency of `exporter` and is PENDING.
    virtual Resolution ResolveForwarder(ModuleId exporter, const std::string& name,
                                        ModuleId& module) = 0;
    // What module `module` imports and exports; null when it was not read.
    virtual const ModuleFunctions* Functions(ModuleId module) const = 0;
};

struct CheckedModule {
    ModuleId module;
    bool delayLoadOnly;  // reached only through delay-load imports
};

// Checks the imports of `modules`, in their order and each one's import-table
// order. False while a forwarder's module is pending: the caller resolves it
// and checks again; `missing` is complete only after a true return.
bool CheckFunctions(IFunctionSource& source, const std::vector<CheckedModule>& modules,
                    std::vector<MissingFunction>& missing);

}  // namespace kivrel
