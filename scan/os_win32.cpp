// Win32 platform layer: the file mapping calls, FindFirstFileA enumeration,
// the system's own directories and the process environment.
#include <windows.h>

#include <cstdlib>

#include "mapped_file.h"
#include "platform.h"
#include "text.h"

namespace kivrel {

namespace {
const intptr_t kInvalidFile = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
}  // namespace

CMappedFile::CMappedFile(const char* path) : m_hFile(kInvalidFile), m_hMapping(0) {
    // Sharing read access only: a file another process holds open for writing
    // fails to open, and no one can change the file while it is mapped.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    m_hFile = reinterpret_cast<intptr_t>(file);
    // Pipes, consoles and devices are not modules, and reading one may block.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        Release();
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    // Only the low 32 bits: they never exceed the bytes a whole-file view holds.
    m_dwFileSize = GetFileSize(file, nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
        Release();
        m_nOpenError = MAP_MAPPING_FAILED;
        return;
    }
    m_hMapping = reinterpret_cast<intptr_t>(mapping);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
        Release();
        m_nOpenError = MAP_VIEW_FAILED;
        return;
    }
    m_pView = static_cast<const uint8_t*>(view);
}

CMappedFile::~CMappedFile() { Release(); }

void CMappedFile::Release() {
    if (m_pView != nullptr) UnmapViewOfFile(m_pView);
    m_pView = nullptr;
    if (m_hMapping != 0) CloseHandle(AsHandle(m_hMapping));
    m_hMapping = 0;
    if (m_hFile != kInvalidFile) CloseHandle(AsHandle(m_hFile));
    m_hFile = kInvalidFile;
}

namespace {

class CWin32Platform : public IScanPlatform {
public:
    explicit CWin32Platform(const PlatformOverrides& overrides) : m_overrides(overrides) {}

    char PathSeparator() const override { return '\\'; }

    std::string SystemDirectory() override {
        if (m_overrides.systemDirectory) return *m_overrides.systemDirectory;
        char buffer[kMaxPath];
        const UINT length = GetSystemDirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    std::string WindowsDirectory() override {
        if (m_overrides.windowsDirectory) return *m_overrides.windowsDirectory;
        char buffer[kMaxPath];
        const UINT length = GetWindowsDirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    bool GetPathList(std::string& value) override {
        if (m_overrides.pathList) {
            value = *m_overrides.pathList;
            return !value.empty();
        }
        const char* text = std::getenv("PATH");
        if (text == nullptr || *text == '\0') return false;
        value = text;
        return true;
    }

    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
        if (size == 0) return false;
        std::string buffer(size, '\0');
        const DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
        if (length == 0 || length >= size) return false;  // changed or emptied meanwhile
        buffer.resize(length);
        value = std::move(buffer);
        return true;
    }

    bool IsLeadByte(char c) const override { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((directory + pattern).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            if (!onMatch(data.cFileName)) break;
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }

private:
    PlatformOverrides m_overrides;
};

}  // namespace

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CWin32Platform>(overrides);
}

}  // namespace kivrel
