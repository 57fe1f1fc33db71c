// A scoped temporary directory: created empty under the system's temporary
// directory, removed with everything in it when the object goes away.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kivrel::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The directory as text ending in the native separator, the form the
    // search directory list holds; `relative` names a subdirectory.
    std::string Dir(const std::string& relative = "") const;
    // Full path of `relative` as text; nothing is created.
    std::string File(const std::string& relative) const;

    // Writes a file (creating missing parent directories); returns its full path.
    std::string Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
    std::string WriteText(const std::string& relative, const std::string& text) const;
    // Creates a subdirectory (and its parents); returns Dir(relative).
    std::string MakeDir(const std::string& relative) const;

private:
    std::filesystem::path m_path;
};

}  // namespace kivrel::test
