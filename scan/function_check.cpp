#include "function_check.h"

#include <algorithm>
#include <utility>

namespace kivrel {

namespace {
enum Binding { BOUND, MISSING, UNRESOLVED, PENDING };

// Binds `function` in `exporter`'s table, following forwarders; on MISSING,
// `out` holds the reason and the last link followed.
Binding Bind(IFunctionSource& source, ModuleId exporter, const CExportTable* table,
             ImportedFunction function, MissingFunction& out) {
    // Each link once: (module, "NAME" or "#ORDINAL").
    std::vector<std::pair<ModuleId, std::string>> seen{{exporter, FunctionText(function)}};
    for (int hop = 0;; ++hop) {
        const ExportMatch match = function.byOrdinal
                                      ? table->FindOrdinal(function.hint)
                                      : table->FindName(function.name, function.hint);
        if (!match.found) {
            out.reason = match.reason;
            return MISSING;
        }
        if (match.forwarder.empty()) return BOUND;
        Forwarder forwarder;
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

        function = ImportedFunction{forwarder.name, forwarder.ordinal, forwarder.name.empty()};
        std::pair<ModuleId, std::string> link{next, FunctionText(function)};
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

std::string FunctionText(const ImportedFunction& function) {
    return function.byOrdinal ? "#" + std::to_string(function.hint) : function.name;
}

bool CheckFunctions(IFunctionSource& source, const std::vector<CheckedModule>& modules,
                    std::vector<MissingFunction>& missing) {
    missing.clear();
    bool complete = true;
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
                MissingFunction line;
                const Binding binding = Bind(source, exporter, &exports->exports, function, line);
                complete = complete && binding != PENDING;
                if (binding != MISSING) continue;
                line.importer = importer.module;
                line.module = imported.module;
                line.function = function;
                line.delayLoadOnly = importer.delayLoadOnly || imported.delayLoad;
                missing.push_back(std::move(line));
            }
        }
    }
    return complete;
}

}  // namespace kivrel
