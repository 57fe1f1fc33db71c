#include "reference_scanner.h"

#include "mapped_image.h"
#include "messages.h"
#include "text.h"

namespace kivrel {

namespace {
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kImportNameOffset = 12;

// Length of the zero-terminated string at `offset`, looking at no more than
// kMaxPath bytes and never past the end of the file. Returns kMaxPath for a
// string too long for a name buffer, and -1 when it runs off the end.
long BoundedNameLength(const ByteReader& bytes, uint32_t offset) {
    const uint32_t available = bytes.Size() - offset;
    const uint32_t limit = available < kMaxPath ? available : uint32_t(kMaxPath);
    const uint8_t* start = bytes.Data() + offset;
    for (uint32_t i = 0; i < limit; ++i) {
        if (start[i] == 0) return static_cast<long>(i);
    }
    return limit == kMaxPath ? static_cast<long>(kMaxPath) : -1;
}
}  // namespace

bool IsSearchableName(std::string_view name) {
    if (name == "." || name == "..") return false;
    // '<', '>' and '"' are the DOS forms of '*', '?' and '.' that FindFirstFileA
    // also matches with; no Windows file name contains them.
    return name.find_first_of("*?<>\"\\/:") == std::string_view::npos;
}

void CReferenceScanner::Scan(const std::string& modulePath, const std::string& initialDirectory,
                             bool cleanup, IReportSink& sink) {
    if (modulePath.empty()) {
        sink.AddLine(MessageText(IDS_NO_MODULE), 0);
        return;
    }
    sink.ResetLines();
    if (cleanup) ClearLists();
    m_platform.BeginScan();
    BuildSearchDirectories(modulePath, initialDirectory);
    if (m_pObserver) m_pObserver->OnSearchOrderReady(m_directories.Entries());
    int errorId = 0;
    const int isPe = ScanModule(modulePath, &errorId);
    if (errorId != 0) sink.AddLine(MessageText(errorId), 0);
    if (isPe) {
        m_edges.AddImports(CImportEdges::kScannedModule, m_lastImports);
        ResolveReferences();
        ReportReferences(sink);
    }
}

int CReferenceScanner::ScanModule(const std::string& path, int* errorId) {
    int result = 0;
    int error = IDS_INVALID_NT_SIGNATURE;
    // A path that does not fit a path buffer cannot be opened by the platform's
    // narrow-character calls; it is treated as a file that failed to open.
    if (FitsPathBuffer(path)) {
        const CMappedImage image(path.c_str());
        result = ScanImage(image, &error);
    }
    if (errorId != nullptr) *errorId = error;
    return result;
}

int CReferenceScanner::ScanImage(const CMappedImage& image, int* errorId) {
    int result = 0;
    int error = IDS_INVALID_NT_SIGNATURE;
    m_lastImports.clear();
    if (image.PeHeaders() != nullptr) {
        result = 1;
        error = IDS_NO_REFERENCES;
        if (image.GetDirectoryEntrySize(kImportDirectory) != 0) {
            const uint8_t* descriptors = image.GetDirectoryEntryPointer(kImportDirectory);
            if (descriptors == nullptr) {
                error = IDS_SCAN_FAILED;
            } else if (AddImportNames(image, descriptors) != 0) {
                error = 0;
            }
        }
    }
    if (errorId != nullptr) *errorId = error;
    return result;
}

unsigned CReferenceScanner::AddImportNames(const CMappedImage& image, const uint8_t* descriptors) {
    const ByteReader& bytes = image.Bytes();
    unsigned count = 0;
    // Each descriptor must lie inside the file, so the walk ends after at most
    // file size / 20 records.
    for (uint64_t at = image.OffsetOf(descriptors); bytes.Fits(at, kImportDescriptorSize);
         at += kImportDescriptorSize) {
        uint32_t nameRva = 0;
        bytes.ReadU32(at + kImportNameOffset, nameRva);
        if (nameRva == 0) break;
        const uint8_t* name = image.RvaToPointer(nameRva);
        if (name == nullptr) break;
        const long length = BoundedNameLength(bytes, image.OffsetOf(name));
        if (length < 0) break;  // runs off the end: untranslatable
        if (length >= static_cast<long>(kMaxPath)) continue;
        m_lastImports.push_back(AddReference(
            std::string_view(reinterpret_cast<const char*>(name), static_cast<size_t>(length)), 0,
            REF_PENDING));
        ++count;
    }
    return count;
}

void CReferenceScanner::ResolveReferences() {
    // Ends: each pass makes the first pending entry final or replaces it by a
    // longer name, and every name comes from an import table of a file.
    for (;;) {
        const long pending = m_references.FindFirstPending();
        if (pending < 0) return;
        const std::string text = m_references[static_cast<size_t>(pending)].text;
        if (m_pObserver) m_pObserver->OnResolving(text);

        if (!IsSearchableName(text)) {
            AddReference(text, 0, REF_NOT_FOUND);
            continue;
        }
        const std::string pattern = text.back() == '.' ? text + "*" : text;
        bool found = false;
        for (uint32_t index = 0; index < m_directories.size() && !found; ++index) {
            found = ResolveInDirectory(text, pattern, index);
        }
        if (!found) AddReference(text, 0, REF_NOT_FOUND);
    }
}

bool CReferenceScanner::ResolveInDirectory(const std::string& text, const std::string& pattern,
                                           uint32_t index) {
    const std::string& directory = m_directories[index];
    // FitsPathBuffer(directory + pattern), without building the text for
    // each of the thousands of directory searches of a large scan.
    if (directory.size() + pattern.size() >= kMaxPath) return false;
    bool found = false;
    std::string matched;
    // The callback captures one pointer so that it fits std::function's own
    // storage: no allocation per search.
    struct Search {
        CReferenceScanner& scanner;
        const std::string& text;
        const std::string& directory;
        uint32_t index;
        bool& found;
        std::string& matched;
    } search{*this, text, directory, index, found, matched};
    m_platform.FindMatches(directory, pattern, [s = &search](const std::string& fileName) {
        const std::string path = s->directory + fileName;
        if (!FitsPathBuffer(path)) return true;
        if (s->scanner.ScanModule(path) != 0) {
            const uint64_t module = s->scanner.AddReference(fileName, s->index, REF_FOUND);
            s->scanner.m_edges.AddImports(module, s->scanner.m_lastImports);
            s->found = true;
            s->matched = fileName;
            return false;
        }
        s->scanner.AddReference(s->text, s->index, REF_INCORRECT);
        return true;
    });
    if (found) {
        // A match reported under an unrelated name (a short-name alias on
        // Windows) leaves the entry pending; it is marked found in the same
        // directory so that the loop ends and the name is not looked up again.
        const long entry = m_references.Find(text);
        if (entry >= 0 && m_references[static_cast<size_t>(entry)].State() == REF_PENDING) {
            // Both entries stand for the module read: both import its names.
            m_edges.AddImports(AddReference(text, index, REF_FOUND), m_lastImports);
        }
        // The entries this match made found name the file that matched; most
        // often the file's name is the entry's text in another letter case.
        const long byName = EqualsNoCase(matched, text) ? entry : m_references.Find(matched);
        for (const long made : {byName, entry}) {
            if (made < 0) continue;
            const Reference& madeEntry = m_references[static_cast<size_t>(made)];
            if (madeEntry.State() == REF_FOUND && madeEntry.fileName.empty()) {
                m_references.SetFileName(static_cast<size_t>(made), matched);
            }
        }
    }
    return found;
}

void CReferenceScanner::ClearLists() {
    m_directories.Clear();
    m_references.Clear();
    m_edges.Clear();
}

}  // namespace kivrel
