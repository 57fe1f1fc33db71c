// Fuzz target for the imported functions: the bytes as an image, both tables'
// thunks read; one module for each name the import walks report.
#include "export_table.h"
#include "fuzz_check.h"
#include "import_thunks.h"
#include "import_walk.h"
#include "mapped_image.h"

using namespace kivrel;
using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CMappedImage image(data, fuzz::Size32(size));
    const ImportedFunctions imports = ReadImportedFunctions(image, true);
    size_t names = 0, functions = 0;
    WalkImportNames(image, [&](std::string_view) { ++names; });
    WalkDelayLoadNames(image, [&](std::string_view) { ++names; });
    Require(imports.modules.size() == (image.PeHeaders() != nullptr ? names : 0),
            "one module for each import name");
    for (const ImportedModule& module : imports.modules) {
        Require(module.firstFunction == functions, "each module's run follows the last");
        for (const ImportedFunction& function : imports.FunctionsOf(module)) {
            Require(imports.NameOf(function).size() == function.nameSize &&
                        function.nameSize <= kMaxFunctionName,
                    "a name inside the module's names, within its limit");
            Require(!function.byOrdinal || function.nameSize == 0, "an ordinal has no name");
        }
        functions += module.functionCount;
    }
    Require(functions <= size / (image.IsPe32Plus() ? 8 : 4), "no more thunks than the file holds");
    return 0;
}
