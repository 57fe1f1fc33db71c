// A read-only mapping of a whole file: the platform half of the mapped image.
// Each platform implements it in its os_*.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivrel {

enum MapError : int {
    MAP_OK = 0,
    MAP_OPEN_FAILED = 1,     // the file could not be opened (also: not a regular file)
    MAP_MAPPING_FAILED = 2,  // the mapping could not be created (also: an empty file)
    MAP_VIEW_FAILED = 3,     // the view could not be mapped
};

class CMappedFile {
public:
    explicit CMappedFile(const char* path);
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    const uint8_t* View() const { return m_pView; }
    // Low 32 bits of the file size; never more than the bytes mapped.
    uint32_t Size() const { return m_dwFileSize; }
    int OpenError() const { return m_nOpenError; }

private:
    void Release();

    intptr_t m_hFile;                      // platform file handle or descriptor
    [[maybe_unused]] intptr_t m_hMapping;  // mapping object; unused where the platform has none
    const uint8_t* m_pView = nullptr;
    size_t m_nViewLength = 0;
    uint32_t m_dwFileSize = 0;
    int m_nOpenError = MAP_OK;
};

}  // namespace kivrel
