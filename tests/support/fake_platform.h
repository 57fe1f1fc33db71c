// An IScanPlatform whose answers are fields the test sets ('\\' as separator lets
// Windows paths read literally on Linux); unscripted directories are searched for real.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"
#include "text.h"

namespace kivrel::test {

// Matches when its name or its alias (a Windows short name) matches, and is
// reported under its name, as FindFirstFileA does.
struct ScriptedEntry {
    std::string name, alias;
};

class FakePlatform : public IScanPlatform {
public:
    explicit FakePlatform(char separator = char(std::filesystem::path::preferred_separator))
        : separator(separator) {}

    char separator;
    std::string systemDirectory, windowsDirectory, pathList;
    std::map<std::string, std::string> environment;
    std::set<unsigned char> leadBytes;                          // double-byte lead bytes
    std::map<std::string, std::vector<ScriptedEntry>> scripts;  // by directory
    // Searches beyond this many find nothing: a resolution without end fails, not hangs.
    size_t maxFindCalls = SIZE_MAX;
    std::vector<std::pair<std::string, std::string>> findCalls;  // directory, pattern
    int beginScanCalls = 0;
    bool caseSensitive = false;                // as Linux file systems are
    std::map<std::string, std::string> files;  // contents by full path; others are read for real

    char PathSeparator() const override { return separator; }
    std::string SystemDirectory() override { return systemDirectory; }
    std::string WindowsDirectory() override { return windowsDirectory; }
    bool GetPathList(std::string& value) override { return !(value = pathList).empty(); }
    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        auto found = environment.find(name);
        return !(value = found == environment.end() ? "" : found->second).empty();
    }
    bool NamesAreCaseSensitive() const override { return caseSensitive; }
    bool IsLeadByte(char c) const override { return leadBytes.count(uint8_t(c)) != 0; }
    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        findCalls.emplace_back(directory, pattern);
        if (findCalls.size() > maxFindCalls) return;
        auto script = scripts.find(directory);
        if (script == scripts.end()) {
            if (!m_pReal) m_pReal = CreateNativePlatform();
            return m_pReal->FindMatches(directory, pattern, onMatch);
        }
        for (const ScriptedEntry& entry : script->second) {
            const bool matches =
                MatchesWildcardNoCase(pattern, entry.name) ||
                (!entry.alias.empty() && MatchesWildcardNoCase(pattern, entry.alias));
            if (matches && !onMatch(entry.name)) return;
        }
    }
    void BeginScan() override {
        ++beginScanCalls;
        if (m_pReal) m_pReal->BeginScan();
    }

    std::unique_ptr<CMappedImage> MapFile(const std::string& path) override {
        auto file = files.find(path);
        if (file == files.end()) return IScanPlatform::MapFile(path);
        return std::make_unique<CMappedImage>(reinterpret_cast<const uint8_t*>(file->second.data()),
                                              uint32_t(file->second.size()));
    }

private:
    std::unique_ptr<IScanPlatform> m_pReal;
};

}  // namespace kivrel::test
