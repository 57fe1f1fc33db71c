#include "temp_dir.h"

#include <chrono>
#include <stdexcept>

#include "pe_writer.h"

namespace kivrel::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    // Clock ticks, a per-process counter and this object's address keep
    // concurrent test processes apart; create_directory tells a clash.
    static unsigned counter = 0;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::string name = "kivrel-test-" + std::to_string(ticks % 1000000007) + "-" +
                                 std::to_string(++counter) + "-" +
                                 std::to_string(reinterpret_cast<uintptr_t>(this) % 100003);
        std::error_code error;
        if (fs::create_directory(base / name, error)) {
            m_path = (base / name).make_preferred();
            return;
        }
    }
    throw std::runtime_error("TempDir: cannot create a directory under " + base.string());
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

std::string TempDir::Dir(const std::string& relative) const {
    fs::path path = relative.empty() ? m_path : m_path / relative;
    std::string text = path.make_preferred().string();
    if (text.empty() || text.back() != static_cast<char>(fs::path::preferred_separator)) {
        text += static_cast<char>(fs::path::preferred_separator);
    }
    return text;
}

std::string TempDir::File(const std::string& relative) const {
    return (m_path / relative).make_preferred().string();
}

std::string TempDir::Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    const fs::path path = (m_path / relative).make_preferred();
    fs::create_directories(path.parent_path());
    if (!WriteFileBytes(path.string(), bytes)) {
        throw std::runtime_error("TempDir: cannot write " + path.string());
    }
    return path.string();
}

std::string TempDir::WriteText(const std::string& relative, const std::string& text) const {
    return Write(relative, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string TempDir::MakeDir(const std::string& relative) const {
    fs::create_directories((m_path / relative).make_preferred());
    return Dir(relative);
}

}  // namespace kivrel::test
