// Reading one module for the scan: what its file says, and its import names
// added to the reference list as pending entries.
#include "mapped_image.h"
#include "reference_scanner.h"

namespace kivrel {

ModuleReadOptions CReferenceScanner::ReadOptions() const {
    ModuleReadOptions options;
    options.delayLoad = m_options.delayLoad;
    options.requiredMachine = m_wRequiredMachine;
    options.functions = m_options.functions;
    if (options.functions) options.functionMemory = m_functionMemory;
    options.manifest = m_options.assemblies;
    return options;
}

ModuleRead CReferenceScanner::ScanModule(const std::string& path) {
    ModuleRead module = Read(path);
    AddImportsOf(module);
    return module;
}

ModuleRead CReferenceScanner::ScanImage(const CMappedImage& image) {
    ModuleRead module = ReadModule(image, ReadOptions());
    AddImportsOf(module);
    return module;
}

std::vector<uint64_t> CReferenceScanner::AddImportsOf(const ModuleRead& module) {
    std::vector<uint64_t> imported;
    imported.reserve(module.imports.size() + module.delayImports.size());
    for (const std::string& name : module.imports) {
        imported.push_back(AddReference(name, 0, REF_PENDING, ORIGIN_IMPORT));
    }
    for (const std::string& name : module.delayImports) {
        imported.push_back(AddReference(name, 0, REF_PENDING, ORIGIN_DELAY_IMPORT));
    }
    if (!m_onlyForwarded.empty()) {
        for (const uint64_t serial : imported) m_onlyForwarded.erase(m_edges.Follow(serial));
    }
    return imported;
}

}  // namespace kivrel
