// The functions an image imports from each module: the thunks of every import
// descriptor (and, when asked, every delay-load descriptor), read in file
// offsets as the loader reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

class CMappedImage;

struct ImportedFunction {
    // Where the hint/name entry's name lies in ImportedModule::names (all of a
    // module's names in one string: no allocation per function).
    uint32_t nameAt = 0, nameSize = 0;
    uint16_t hint = 0;  // the hint, or the ordinal
    bool byOrdinal = false;
};

struct ImportedModule {
    std::string module;  // as the import table writes it
    bool delayLoad = false;
    std::vector<ImportedFunction> functions;
    std::string names;
    // The function's name as the hint/name entry holds it; "" for one by ordinal.
    std::string_view NameOf(const ImportedFunction& f) const {
        return std::string_view(names).substr(f.nameAt, f.nameSize);
    }
};

// One entry for each name the import walk reports, in the same order: the
// import table's, then the delay-load table's. A descriptor's list is its
// lookup table (OriginalFirstThunk; FirstThunk where that is 0; for delay-load
// the name table), 32- or 64-bit as the image is, up to its zero entry. A
// thunk whose hint/name entry is not in the file, or whose name is unreadable,
// is left out; a list that runs off the file ends there. All lists together
// read at most as many thunks as the file holds.
std::vector<ImportedModule> ReadImportedFunctions(const CMappedImage& image, bool delayLoad);

}  // namespace kivrel
