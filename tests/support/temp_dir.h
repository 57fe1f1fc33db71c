// A temporary directory, removed with everything in it when the object goes away.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "pe_writer.h"

namespace kivrel::test {

// The whole file at `path`; "" when it cannot be read.
inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempDir {
public:
    TempDir() {
        // Clock ticks and a counter keep test processes apart; a clash takes the next name.
        static unsigned counter = 0;
        do {
            const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
            m_path = std::filesystem::temp_directory_path() /
                     ("kivrel-test-" + std::to_string(ticks) + "-" + std::to_string(++counter));
        } while (!std::filesystem::create_directory(m_path));
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // Full path of `relative` (nothing is created); Dir() ends it in the
    // native separator, as the search directory list holds it.
    std::string File(const std::string& relative) const {
        return (m_path / relative).make_preferred().string();
    }
    std::string Dir(const std::string& relative = "") const {
        const std::string text = File(relative);
        const char separator = std::filesystem::path::preferred_separator;
        return text.back() == separator ? text : text + separator;
    }
    // Writes a file, creating missing parent directories; returns its full path.
    std::string Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
        const std::string path = File(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        if (!WriteFileBytes(path, bytes)) throw std::runtime_error("cannot write " + path);
        return path;
    }
    std::string WriteText(const std::string& relative, const std::string& text) const {
        return Write(relative, std::vector<uint8_t>(text.begin(), text.end()));
    }
    std::string MakeDir(const std::string& relative) const {
        std::filesystem::create_directories(File(relative));
        return Dir(relative);
    }

private:
    std::filesystem::path m_path;
};

}  // namespace kivrel::test
