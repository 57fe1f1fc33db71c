// The file mapping of the Win32 platform layer: a module's bytes, read-only.
#include <windows.h>

#include <utility>

#include "handle.h"
#include "mapped_file.h"

namespace kivrel {

namespace {
const intptr_t kInvalidFile = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
}  // namespace

CMappedFile::CMappedFile(const char* path) : m_hFile(kInvalidFile), m_hMapping(0) {
    // Sharing read access only: a file another process holds open for writing
    // fails to open, and no one can change the file while it is mapped.
    CFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    // Pipes, consoles and devices are not modules, and reading one may block.
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    // Only the low 32 bits: they never exceed the bytes a whole-file view holds.
    m_dwFileSize = GetFileSize(file.Get(), nullptr);
    CKernelHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
        m_nOpenError = MAP_MAPPING_FAILED;
        return;
    }
    const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
        m_nOpenError = MAP_VIEW_FAILED;
        return;
    }
    m_pView = static_cast<const uint8_t*>(view);
    m_hFile = reinterpret_cast<intptr_t>(file.Detach());
    m_hMapping = reinterpret_cast<intptr_t>(mapping.Detach());
}

CMappedFile::~CMappedFile() { Release(); }

void CMappedFile::Release() {
    if (m_pView != nullptr) UnmapViewOfFile(m_pView);
    m_pView = nullptr;
    // Taken back into owners that close them.
    const CKernelHandle mapping(AsHandle(std::exchange(m_hMapping, 0)));
    const CFileHandle file(AsHandle(std::exchange(m_hFile, kInvalidFile)));
}

}  // namespace kivrel
