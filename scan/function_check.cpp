#include "function_check.h"

#include <array>
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

// One link of a forwarder chain: a module and a function in it.
struct Link {
    ModuleId module;
    Wanted function;
};

// Whether two functions read the same as "NAME" or "#ORDINAL".
bool SameText(const Wanted& a, const Wanted& b) {
    if (a.byOrdinal == b.byOrdinal) return a.byOrdinal ? a.hint == b.hint : a.name == b.name;
    const Wanted& named = a.byOrdinal ? b : a;
    const Wanted& numbered = a.byOrdinal ? a : b;
    return named.name == FunctionText({}, numbered.hint, true);
}

ExportMatch Find(const CExportTable& table, const Wanted& function) {
    return function.byOrdinal ? table.FindOrdinal(function.hint)
                              : table.FindName(function.name, function.hint);
}

// Follows the chain that begins with `imported`'s export in `exporter`
// forwarding as `text`; as Bind. The chain's names are views into the tables.
Binding Follow(IFunctionSource& source, ModuleId exporter, const Wanted& imported,
               std::string_view text, MissingFunction& out) {
    Forwarder forwarder, parsed;  // the last link's, and the one being read
    // Each link once: the first is the import itself.
    std::array<Link, kMaxForwarderHops + 2> seen;
    size_t links = 0;
    seen[links++] = Link{exporter, imported};
    auto followed = [&](const Link& link) {
        out.forwardedTo.assign(forwarder.module).append("!");
        if (link.function.byOrdinal)
            out.forwardedTo.append(FunctionText({}, link.function.hint, true));
        else
            out.forwardedTo.append(link.function.name);
    };
    for (int hop = 1;; ++hop) {
        if (!ParseForwarder(text, parsed)) {
            out.reason = "its forwarder \"" + std::string(text) + "\" cannot be followed";
            if (links > 1) followed(seen[links - 1]);
            return MISSING;
        }
        forwarder.module.assign(parsed.module);  // keeps its buffer from link to link
        forwarder.name = parsed.name;
        forwarder.ordinal = parsed.ordinal;
        ModuleId next = 0;
        const IFunctionSource::Resolution resolved =
            source.ResolveForwarder(exporter, forwarder.module, next);
        if (resolved == IFunctionSource::PENDING) return PENDING;
        const ModuleFunctions* functions = source.Functions(next);
        if (resolved == IFunctionSource::UNRESOLVED || functions == nullptr) return UNRESOLVED;

        const Link link{next, Wanted{forwarder.name, forwarder.ordinal, forwarder.name.empty()}};
        for (size_t k = 0; k < links; ++k) {
            if (seen[k].module == link.module && SameText(seen[k].function, link.function)) {
                out.reason = "a loop of forwarders";
                followed(link);
                return MISSING;
            }
        }
        seen[links++] = link;
        exporter = next;

        const ExportMatch match = Find(functions->exports, link.function);
        if (!match.found) {
            out.reason = match.reason;
            followed(link);
            return MISSING;
        }
        if (match.forwarder.empty()) return BOUND;
        if (hop == kMaxForwarderHops) {
            out.reason = "a chain of more than 32 forwarders";
            followed(link);
            return MISSING;
        }
        text = match.forwarder;
    }
}

// Binds `imported` in `exporter`'s table, following forwarders; on MISSING,
// `out` holds the reason and the last link followed. Allocates nothing but
// for a missing function.
Binding Bind(IFunctionSource& source, ModuleId exporter, const CExportTable& table,
             const Wanted& imported, MissingFunction& out) {
    const ExportMatch match = Find(table, imported);
    if (!match.found) {
        out.reason = match.reason;
        return MISSING;
    }
    if (match.forwarder.empty()) return BOUND;
    return Follow(source, exporter, imported, match.forwarder, out);
}
}  // namespace

FunctionMemory NewFunctionMemory() {
    return std::make_shared<std::pmr::monotonic_buffer_resource>();
}

ModuleFunctions::ModuleFunctions(const CMappedImage& image, bool delayLoad, WalkResult* importWalk,
                                 FunctionMemory memory)
    : memory(memory ? std::move(memory) : NewFunctionMemory()),
      imports(ReadImportedFunctions(image, delayLoad, importWalk, this->memory.get())),
      exports(CExportTable::Read(image, this->memory.get())) {}

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
        const ImportedFunctions& imports = functions->imports;
        for (size_t d = 0; d < imports.modules.size(); ++d) {
            const ImportedModule& imported = imports.modules[d];
            ModuleId exporter = 0;
            if (source.ResolveImport(importer.module, d, exporter) != IFunctionSource::RESOLVED) {
                continue;  // a module not found is reported as such
            }
            const ModuleFunctions* exports = source.Functions(exporter);
            if (exports == nullptr) continue;
            for (const ImportedFunction& function : imports.FunctionsOf(imported)) {
                const Wanted wanted{imports.NameOf(function), function.hint, function.byOrdinal};
                MissingFunction& line = scratch;
                line.forwardedTo.clear();
                const Binding binding = Bind(source, exporter, exports->exports, wanted, line);
                complete = complete && binding != PENDING;
                if (binding != MISSING) continue;
                line.importer = importer.module;
                line.module.assign(imports.ModuleName(imported));
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
