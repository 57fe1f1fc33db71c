#include "module_read.h"

#include "import_walk.h"
#include "mapped_image.h"
#include "resource_directory.h"
#include "text.h"

namespace kivrel {

ModuleRead ReadModule(const CMappedImage& image, const ModuleReadOptions& options) {
    ModuleRead module;
    module.machine = image.Machine();
    if (image.ImageType() != IMAGE_PE) {
        uint16_t magic = 0;
        const bool mz = image.Bytes().ReadU16(0, magic) && magic == 0x5A4D;
        module.failure = image.OpenError() == MAP_OPEN_FAILED ? ReadFailure::UNREADABLE
                         : image.OpenError() != MAP_OK        ? ReadFailure::UNMAPPABLE
                         : mz                                 ? ReadFailure::NO_PE
                                                              : ReadFailure::NO_MZ;
        return module;
    }
    // Another machine type: the loader passes it over, and so its imports
    // are not read.
    if (options.requiredMachine != 0 && module.machine != options.requiredMachine) {
        module.failure = ReadFailure::OTHER_MACHINE;
        return module;
    }
    module.failure = ReadFailure::NONE;
    module.isPe = true;
    WalkResult walk = WALK_NO_TABLE;
    if (options.functions) {
        // The descriptors' walk that reads the functions gives the names too.
        auto functions = std::make_shared<const ModuleFunctions>(image, options.delayLoad, &walk,
                                                                 options.functionMemory);
        const ImportedFunctions& imports = functions->imports;
        module.imports.reserve(imports.modules.size());
        for (const ImportedModule& m : imports.modules)
            (m.delayLoad ? module.delayImports : module.imports)
                .emplace_back(imports.ModuleName(m));
        module.functions = std::move(functions);
    } else {
        walk = WalkImportNames(image,
                               [&](std::string_view name) { module.imports.emplace_back(name); });
        if (options.delayLoad) {
            WalkDelayLoadNames(
                image, [&](std::string_view name) { module.delayImports.emplace_back(name); });
        }
    }
    if (options.manifest) {
        const bool process = options.namedModule && !image.IsDll();
        ReadManifestResource(image, process ? kProcessManifestId : kIsolationAwareManifestId,
                             module.manifest);
    }
    const bool none = module.imports.empty() && module.delayImports.empty();
    module.errorId = walk == WALK_UNTRANSLATABLE ? IDS_SCAN_FAILED : none ? IDS_NO_REFERENCES : 0;
    return module;
}

ModuleRead ReadModuleFile(const std::string& path, const ModuleReadOptions& options) {
    if (!FitsPathBuffer(path)) return ModuleRead{};
    const CMappedImage image(path.c_str());
    return ReadModule(image, options);
}

const ModuleRead& CModuleReadCache::Read(const std::string& path,
                                         const ModuleReadOptions& options) {
    std::string key = path;
    key += '\0';
    key += options.delayLoad ? 'd' : '-';
    key += options.functions ? 'f' : '-';
    key += std::to_string(options.requiredMachine);
    key += options.manifest ? (options.namedModule ? 'N' : 'm') : '-';
    auto found = m_reads.find(key);
    if (found == m_reads.end()) {
        found = m_reads.emplace(std::move(key), ReadModuleFile(path, options)).first;
    }
    return found->second;
}

}  // namespace kivrel
