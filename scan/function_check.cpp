#include "function_check.h"

#include <algorithm>
#include <utility>

namespace kivrel {

namespace {
enum Binding { BOUND, MISSING, UNRESOLVED, PENDING };

// A function as a table lookup wants it: a name with its hint, or an ordinal.
struct Wanted {
    std::string_view name;
    uint16_t hint;
    bool byOrdinal;
};

// Binds `imported` in `exporter`'s table, following forwarders; on MISSING,
// `out` holds the reason and the last link followed. The common case, an
// export of the module itself, allocates nothing.
Binding Bind(IFunctionSource& source, ModuleId exporter, const CExportTable* table,
             const Wanted& imported, MissingFunction& out) {
    Wanted function = imported;
    Forwarder forwarder;
    // Each link once: (module, "NAME" or "#ORDINAL"), filled at the first forwarder.
    std::vector<std::pair<ModuleId, std::string>> seen;
    for (int hop = 0;; ++hop) {
        const ExportMatch match = function.byOrdinal
                                      ? table->FindOrdinal(function.hint)
                                      : table->FindName(function.name, function.hint);
        if (!match.found) {
            out.reason = match.reason;
            return MISSING;
        }
        if (match.forwarder.empty()) return BOUND;
        if (hop == kMaxForwarderHops) {
            out.reason = "a chain of more than 32 forwarders";
            return MISSING;
        }
        if (!ParseForwarder(match.forwarder, forwarder)) {
            out.reason =
                "its forwarder \"" + std::string(match.forwarder) + "\" cannot be followed";
            return MISSING;
        }
        ModuleId next = 0;
        const IFunctionSource::Resolution resolved =
            source.ResolveForwarder(exporter, forwarder.module, next);
        if (resolved == IFunctionSource::PENDING) return PENDING;
        const ModuleFunctions* functions = source.Functions(next);
        if (resolved == IFunctionSource::UNRESOLVED || functions == nullptr) return UNRESOLVED;

        if (seen.empty())
            seen.emplace_back(exporter,
                              FunctionText(imported.name, imported.hint, imported.byOrdinal));
        function = Wanted{forwarder.name, forwarder.ordinal, forwarder.name.empty()};
        std::pair<ModuleId, std::string> link{
            next, FunctionText(function.name, function.hint, function.byOrdinal)};
        out.forwardedTo = forwarder.module + "!" + link.second;
        if (std::find(seen.begin(), seen.end(), link) != seen.end()) {
            out.reason = "a loop of forwarders";
            return MISSING;
        }
        seen.push_back(std::move(link));
        exporter = next;
        table = &functions->exports;
    }
}
}  // namespace

ModuleFunctions ReadModuleFunctions(const CMappedImage& image, bool delayLoad) {
    return ModuleFunctions{ReadImportedFunctions(image, delayLoad), CExportTable::Read(image)};
}

std::string FunctionText(std::string_view name, uint16_t ordinal, bool byOrdinal) {
    return byOrdinal ? "#" + std::to_string(ordinal) : std::string(name);
}

bool CheckFunctions(IFunctionSource& source, const std::vector<CheckedModule>& modules,
                    std::vector<MissingFunction>& missing) {
    missing.clear();
    bool complete = true;
    MissingFunction scratch;  // filled by Bind, moved out only for a missing one
    for (const CheckedModule& importer : modules) {
        const ModuleFunctions* functions = source.Functions(importer.module);
        if (functions == nullptr) continue;
        for (size_t d = 0; d < functions->imports.size(); ++d) {
            const ImportedModule& imported = functions->imports[d];
            ModuleId exporter = 0;
            if (source.ResolveImport(importer.module, d, exporter) != IFunctionSource::RESOLVED) {
                continue;  // a module not found is reported as such
            }
            const ModuleFunctions* exports = source.Functions(exporter);
            if (exports == nullptr) continue;
            for (const ImportedFunction& function : imported.functions) {
                const Wanted wanted{imported.NameOf(function), function.hint, function.byOrdinal};
                MissingFunction& line = scratch;
                line.forwardedTo.clear();
                const Binding binding = Bind(source, exporter, &exports->exports, wanted, line);
                complete = complete && binding != PENDING;
                if (binding != MISSING) continue;
                line.importer = importer.module;
                line.module = imported.module;
                line.name.assign(wanted.name);
                line.ordinal = function.hint;
                line.byOrdinal = function.byOrdinal;
                line.delayLoadOnly = importer.delayLoadOnly || imported.delayLoad;
                missing.push_back(std::move(line));
            }
        }
    }
    return complete;
}

}  // namespace kivrel
