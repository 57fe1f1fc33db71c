// The functions an image imports from each module: the thunks of every import
// descriptor (and, when asked, every delay-load descriptor), read in file
// offsets as the loader reads them.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "import_walk.h"

namespace kivrel {

class CMappedImage;

struct ImportedFunction {
    // Where the hint/name entry's name lies in ImportedFunctions::text.
    uint32_t nameAt = 0, nameSize = 0;
    uint16_t hint = 0;  // the hint, or the ordinal
    bool byOrdinal = false;
};

// One import descriptor: its module name and its run of functions.
struct ImportedModule {
    uint32_t nameAt = 0, nameSize = 0;  // the name as the import table writes it
    uint32_t firstFunction = 0, functionCount = 0;
    uint32_t lookup = 0;  // the RVA of the thunks read (0: none)
    bool delayLoad = false;
    // A delay-load descriptor of the older layout: its thunks hold virtual
    // addresses, not RVAs, of the hint/name entries.
    bool vaBased = false;
};

// Every descriptor's functions of one image in three arrays, so that reading
// a module costs a few allocations, not a few for each descriptor.
struct ImportedFunctions {
    explicit ImportedFunctions(std::pmr::memory_resource* memory = std::pmr::get_default_resource())
        : modules(memory), functions(memory), text(memory) {}

    std::pmr::vector<ImportedModule> modules;
    std::pmr::vector<ImportedFunction> functions;
    std::pmr::string text;  // module and function names, back to back

    std::string_view ModuleName(const ImportedModule& m) const {
        return std::string_view(text).substr(m.nameAt, m.nameSize);
    }
    // The function's name as the hint/name entry holds it; "" for one by ordinal.
    std::string_view NameOf(const ImportedFunction& f) const {
        return std::string_view(text).substr(f.nameAt, f.nameSize);
    }
    // A descriptor's functions, for a range-based for.
    struct Run {
        const ImportedFunction *first, *last;
        const ImportedFunction* begin() const { return first; }
        const ImportedFunction* end() const { return last; }
    };
    Run FunctionsOf(const ImportedModule& m) const {
        const ImportedFunction* first = functions.data() + m.firstFunction;
        return Run{first, first + m.functionCount};
    }
};

// One module for each name the import walk reports, in the same order: the
// import table's, then the delay-load table's. A descriptor's list is its
// lookup table (OriginalFirstThunk; FirstThunk where that is 0; for delay-load
// the name table), 32- or 64-bit as the image is, up to its zero entry. A
// thunk whose hint/name entry is not in the file, or whose name is unreadable,
// is left out; a list that runs off the file ends there. All lists together
// read at most as many thunks as the file holds.
// `importWalk`, when given, receives how the import table's walk ended; the
// arrays are allocated from `memory`.
ImportedFunctions ReadImportedFunctions(
    const CMappedImage& image, bool delayLoad, WalkResult* importWalk = nullptr,
    std::pmr::memory_resource* memory = std::pmr::get_default_resource());

}  // namespace kivrel
