// Side-by-side assemblies: the activation contexts a scan's manifests make,
// and names resolved through them before the search order.
#include <algorithm>

#include "reference_scanner.h"
#include "side_by_side.h"
#include "text.h"

namespace kivrel {

namespace {
// A name as a context is looked up by: folded, an extension-less import
// completed with ".dll" and a trailing '.' (no extension) dropped, as the
// loader does.
std::string ContextKey(std::string_view name) {
    std::string key = ToLowerAscii(name);
    if (!key.empty() && key.back() == '.') {
        key.pop_back();
    } else if (key.find('.') == std::string::npos) {
        key += ".dll";
    }
    return key;
}
}  // namespace

long CReferenceScanner::AssemblyFolder(const std::string& folder) {
    const long listed = m_directories.IndexOf(folder);
    if (listed >= 0) return listed;
    if (!FitsPathBuffer(folder) || m_directories.Add(folder) != CSearchDirectoryList::ADDED) {
        NotifySkipped(folder, "no room for an assembly's folder");
        return -1;
    }
    m_assemblyFolders.resize(m_directories.size());
    m_assemblyFolders.back() = true;
    return long(m_directories.size() - 1);
}

void CReferenceScanner::ActivateManifest(const std::string& modulePath, const ModuleRead& module,
                                         uint64_t importer, bool ownImportsOnly) {
    if (!m_options.assemblies || module.manifest.source.empty()) return;
    if (m_pObserver) m_pObserver->OnManifest(modulePath, module.manifest);
    if (!module.manifest.read) return;
    if (ownImportsOnly && module.manifest.HasDependencies()) m_withManifest.push_back(importer);
    std::vector<std::string> imported;
    if (ownImportsOnly) {
        for (const auto* names : {&module.imports, &module.delayImports})
            for (const std::string& name : *names) imported.push_back(ContextKey(name));
    }
    auto& context = ownImportsOnly ? m_ownContexts : m_processContext;
    const std::string folder =
        modulePath.substr(0, modulePath.rfind(m_platform.PathSeparator()) + 1);
    std::vector<uint64_t> missing;
    for (const AssemblyDependency& dependency : module.manifest.manifest.dependencies) {
        const ResolvedAssembly& assembly = m_assemblyStore.Find(dependency, folder, module.machine);
        if (m_pObserver) m_pObserver->OnAssembly(modulePath, assembly);
        // The loader refuses to start a program whose assembly is missing;
        // without a store to look in, that cannot be told.
        if (!assembly.found && !assembly.optional && !assembly.noStore) {
            missing.push_back(
                AddReference(assembly.name + " " + assembly.version + " (side-by-side assembly)", 0,
                             REF_NOT_FOUND, ORIGIN_IMPORT));
        }
        const long directory = assembly.found ? AssemblyFolder(assembly.folder) : -1;
        if (directory < 0) continue;
        for (const auto& [listed, path] : assembly.files) {
            const std::string key = ContextKey(listed);
            if (ownImportsOnly &&
                std::find(imported.begin(), imported.end(), key) == imported.end())
                continue;
            context.emplace(key,
                            AssemblyFile{uint32_t(directory), path.substr(assembly.folder.size()),
                                         "assembly " + assembly.name + " " + assembly.version});
        }
    }
    if (!missing.empty()) m_edges.AddImports(importer, missing, missing.size());
}

bool CReferenceScanner::ResolveFromAssembly(const std::string& text) {
    if (m_processContext.empty() && m_ownContexts.empty()) return false;
    const std::string key = ContextKey(text);
    // A DLL's own context answers for its imports before the process's.
    auto file = m_ownContexts.find(key);
    if (file == m_ownContexts.end()) file = m_processContext.find(key);
    if (file == m_processContext.end()) return false;
    const AssemblyFile assemblyFile = file->second;
    const std::string path = m_directories[assemblyFile.directory] + assemblyFile.fileName;
    const ModuleRead module = Read(path);
    // A file the loader could not load: the search order decides, and says so.
    if (!module.isPe) return false;
    std::vector<uint64_t> imports = AddImportsOf(module);
    const uint64_t serial = AddReference(text, assemblyFile.directory, REF_FOUND);
    m_edges.AddImports(serial, imports, module.imports.size());
    KeepFunctions(serial, module, std::move(imports));
    const long entry = m_references.IndexOfSerial(serial);
    if (entry >= 0) {
        m_references.SetMatchedFile(size_t(entry), assemblyFile.fileName, module.machine);
        m_references.SetVia(size_t(entry), assemblyFile.via);
    }
    ActivateManifest(path, module, serial, true);
    return true;
}

}  // namespace kivrel
