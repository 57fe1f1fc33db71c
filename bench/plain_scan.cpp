#include "plain_scan.h"

#include "mapped_image.h"
#include "messages.h"
#include "text.h"

namespace kivrel::bench {

void CPlainScan::Scan(const std::string& modulePath, const std::string& initialDirectory,
                      IReportSink& sink) {
    if (modulePath.empty()) {
        sink.AddLine(MessageText(IDS_NO_MODULE), 0);
        return;
    }
    sink.ResetLines();
    m_references.Clear();
    m_platform.BeginScan();
    // The search order itself is not what this yardstick measures.
    CReferenceScanner orderBuilder(m_platform);
    orderBuilder.BuildSearchDirectories(modulePath, initialDirectory);
    m_directories = orderBuilder.SearchDirectories().Entries();

    int errorId = 0;
    const int isPe = ScanModule(modulePath, &errorId);
    if (errorId != 0) sink.AddLine(MessageText(errorId), 0);
    if (isPe) {
        ResolveReferences();
        Report(sink);
    }
}

int CPlainScan::ScanModule(const std::string& path, int* errorId) {
    int result = 0;
    int error = IDS_INVALID_NT_SIGNATURE;
    if (!FitsPathBuffer(path)) {
        if (errorId != nullptr) *errorId = error;
        return result;
    }
    const CMappedImage image(path.c_str());
    if (image.PeHeaders() != nullptr) {
        result = 1;
        error = IDS_NO_REFERENCES;
        if (image.GetDirectoryEntrySize(kImportDirectory) != 0) {
            const uint8_t* descriptor = image.GetDirectoryEntryPointer(kImportDirectory);
            if (descriptor == nullptr) {
                error = IDS_SCAN_FAILED;
            } else {
                const ByteReader& bytes = image.Bytes();
                unsigned count = 0;
                for (uint64_t at = uint64_t(descriptor - image.View()); bytes.Fits(at, 20);
                     at += 20) {
                    uint32_t nameRva = 0;
                    bytes.ReadU32(at + 12, nameRva);
                    if (nameRva == 0) break;
                    const uint8_t* name = image.RvaToPointer(nameRva);
                    if (name == nullptr) break;
                    const uint32_t offset = static_cast<uint32_t>(name - image.View());
                    size_t length = 0;
                    while (offset + length < bytes.Size() && length < kMaxPath && name[length] != 0)
                        ++length;
                    if (length < kMaxPath && offset + length == bytes.Size())
                        break;  // no terminator
                    if (length >= kMaxPath) continue;
                    m_references.AddReference(
                        std::string_view(reinterpret_cast<const char*>(name), length), 0,
                        REF_PENDING);
                    ++count;
                }
                if (count != 0) error = 0;
            }
        }
    }
    if (errorId != nullptr) *errorId = error;
    return result;
}

void CPlainScan::ResolveReferences() {
    for (long pending; (pending = m_references.FindFirstPending()) >= 0;) {
        const std::string text = m_references[static_cast<size_t>(pending)].text;
        if (!IsSearchableName(text)) {
            m_references.AddReference(text, 0, REF_NOT_FOUND);
            continue;
        }
        const std::string pattern = text.back() == '.' ? text + "*" : text;
        bool found = false;
        std::string matched;
        for (uint32_t j = 0; j < m_directories.size() && !found; ++j) {
            const std::string& directory = m_directories[j];
            if (!FitsPathBuffer(directory + pattern)) continue;
            m_platform.FindMatches(directory, pattern, [&](const std::string& fileName) {
                if (!FitsPathBuffer(directory + fileName)) return true;
                if (ScanModule(directory + fileName) != 0) {
                    m_references.AddReference(fileName, j, REF_FOUND);
                    found = true;
                    matched = fileName;
                    return false;
                }
                m_references.AddReference(text, j, REF_INCORRECT);
                return true;
            });
            // A match under another name (a short-name alias) leaves the entry
            // pending; the scanner marks it found where the match was.
            if (found) {
                const long entry = m_references.Find(text);
                if (entry >= 0 && m_references[static_cast<size_t>(entry)].State() == REF_PENDING) {
                    m_references.AddReference(text, j, REF_FOUND);
                }
                // Whatever entry this match made found names the file that matched.
                for (const std::string& name : {matched, text}) {
                    const long made = m_references.Find(name);
                    if (made >= 0 && m_references[static_cast<size_t>(made)].State() == REF_FOUND &&
                        m_references[static_cast<size_t>(made)].fileName.empty()) {
                        m_references.SetFileName(static_cast<size_t>(made), matched);
                    }
                }
            }
        }
        if (!found) m_references.AddReference(text, 0, REF_NOT_FOUND);
    }
}

void CPlainScan::Report(IReportSink& sink) const {
    const auto& entries = m_references.Entries();
    if (entries.empty()) return;
    for (size_t d = 0; d < m_directories.size(); ++d) {
        for (size_t j = 0; j < entries.size(); ++j) {
            if (entries[j].State() == REF_FOUND && entries[j].DirectoryIndex() == uint16_t(d)) {
                const bool onDisk =
                    m_platform.NamesAreCaseSensitive() && !entries[j].fileName.empty();
                sink.AddLine(m_directories[d] + (onDisk ? entries[j].fileName : entries[j].text),
                             static_cast<uint32_t>(j + 1));
            }
        }
    }
    bool heading = false;
    for (const Reference& entry : entries) {
        if (entry.State() == REF_FOUND) continue;
        if (!heading) {
            sink.AddLine("", 0);
            sink.AddLine(MessageText(IDS_NOT_FOUND_HEADING), 0);
            sink.AddLine("", 0);
            heading = true;
        }
        sink.AddLine(entry.text, 0);
    }
}

}  // namespace kivrel::bench
