// An IScanPlatform for tests: every answer is a field the test sets, with a
// configurable separator ('\\' lets Windows paths be written literally on
// Linux). A directory's entries may be scripted; other directories are
// searched on the real platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"
#include "text.h"

namespace kivrel::test {

// A scripted entry matches when its name or its alias (a Windows short name)
// matches, and is always reported under its name, as FindFirstFileA does.
struct ScriptedEntry {
    std::string name, alias;
};

class FakePlatform : public IScanPlatform {
public:
#ifdef _WIN32
    explicit FakePlatform(char separator = '\\') : separator(separator) {}
#else
    explicit FakePlatform(char separator = '/') : separator(separator) {}
#endif

    char separator;
    std::string systemDirectory, windowsDirectory, pathList;
    std::map<std::string, std::string> environment;  // names compared exactly
    std::set<unsigned char> leadBytes;               // double-byte lead bytes
    // Searches beyond this many find nothing, so that a resolution that
    // would never end fails instead of hanging.
    size_t maxFindCalls = SIZE_MAX;
    std::vector<std::pair<std::string, std::string>> findCalls;  // directory, pattern
    int beginScanCalls = 0;

    void SetPathList(std::string value) { pathList = std::move(value); }
    void Script(const std::string& directory, std::vector<ScriptedEntry> entries) {
        m_scripts[directory] = std::move(entries);
    }

    char PathSeparator() const override { return separator; }
    std::string SystemDirectory() override { return systemDirectory; }
    std::string WindowsDirectory() override { return windowsDirectory; }
    bool GetPathList(std::string& value) override {
        value = pathList;
        return !value.empty();
    }
    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        auto found = environment.find(name);
        value = found == environment.end() ? "" : found->second;
        return !value.empty();
    }
    bool IsLeadByte(char c) const override { return leadBytes.count(uint8_t(c)) != 0; }

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        findCalls.emplace_back(directory, pattern);
        if (findCalls.size() > maxFindCalls) return;
        auto script = m_scripts.find(directory);
        if (script == m_scripts.end()) return Real().FindMatches(directory, pattern, onMatch);
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

private:
    IScanPlatform& Real() {
        if (!m_pReal) m_pReal = CreateNativePlatform();
        return *m_pReal;
    }

    std::map<std::string, std::vector<ScriptedEntry>> m_scripts;
    std::unique_ptr<IScanPlatform> m_pReal;
};

}  // namespace kivrel::test
