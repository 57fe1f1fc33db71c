// The search order: module directory (EXE only), initial directory, system
// directory, Windows directory, then each element of the PATH list.
#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

void CReferenceScanner::AddSearchDirectory(std::string directory) {
    if (directory.empty()) return;
    const char separator = m_platform.PathSeparator();
    if (directory.back() != separator) directory += separator;
    // A directory that cannot be held in a path buffer cannot hold a module
    // path either; it is left out rather than cut to a different directory.
    if (!FitsPathBuffer(directory)) {
        NotifySkipped(directory, "longer than 259 characters");
        return;
    }
    if (m_directories.Add(directory) == CSearchDirectoryList::LIST_FULL) {
        NotifySkipped(directory, "the list holds 65,535 directories already");
    }
}

void CReferenceScanner::BuildSearchDirectories(const std::string& modulePath,
                                               const std::string& initialDirectory) {
    const char separator = m_platform.PathSeparator();
    AddLoaderDirectories(modulePath);
    // An EXE's own directory; the test is for ".exe" anywhere in the path.
    // With the module-dir option any module's, as a plug-in's loader does.
    if (FitsPathBuffer(modulePath) &&
        (m_options.moduleDir || ToLowerAscii(modulePath).find(".exe") != std::string::npos)) {
        const size_t cut = modulePath.rfind(separator);
        if (cut != std::string::npos) AddSearchDirectory(modulePath.substr(0, cut));
    }
    if (FitsPathBuffer(initialDirectory)) {
        AddSearchDirectory(initialDirectory);
    } else {
        NotifySkipped(initialDirectory, "longer than 259 characters");
    }
    AddSearchDirectory(m_platform.SystemDirectory());
    AddSearchDirectory(m_platform.WindowsDirectory());

    std::string pathList;
    if (!m_platform.GetPathList(pathList)) return;
    size_t start = 0;
    // A ';' at the very end yields no further element.
    while (start < pathList.size()) {
        size_t end = pathList.find(';', start);
        if (end == std::string::npos) end = pathList.size();
        std::string element = pathList.substr(start, end - start);
        start = end + 1;
        if (!FitsPathBuffer(element)) {
            NotifySkipped(element, "longer than 259 characters");
            continue;
        }
        ExpandEnvironmentReferences(element);
        AddSearchDirectory(std::move(element));
    }
}

void CReferenceScanner::ExpandEnvironmentReferences(std::string& text) const {
    // Finds the next '%' from `from`, stepping over double-byte characters so
    // that a trail byte is never taken for one.
    auto findPercent = [&](size_t from) {
        for (size_t i = from; i < text.size(); ++i) {
            if (text[i] == '%') return i;
            if (m_platform.IsLeadByte(text[i])) ++i;
        }
        return std::string::npos;
    };

    size_t position = 0;
    for (;;) {
        const size_t open = findPercent(position);
        if (open == std::string::npos) return;
        const size_t close = findPercent(open + 1);
        if (close == std::string::npos) return;
        const std::string name = text.substr(open + 1, close - open - 1);
        std::string value;
        if (name.empty() || !m_platform.GetEnvironmentValue(name, value)) {
            position = close + 1;
            continue;
        }
        text.replace(open, close - open + 1, value);
        position = open + value.size();  // the inserted value is not scanned again
    }
}

}  // namespace kivrel
