// An IScanPlatform for tests: every answer is a field the test sets. The
// separator is configurable ('\\' lets Windows paths be written literally
// on Linux). Directory searches are scripted per directory, or go
// to the real platform for directories without a script.
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

// One scripted directory entry. Like FindFirstFileA, an entry matches when its
// name or its alias (a Windows short name) matches the pattern, and it is
// always reported under its name.
struct ScriptedEntry {
    std::string name;
    std::string alias;
};

class FakePlatform : public IScanPlatform {
public:
    explicit FakePlatform(char separator = NativeSeparator()) : separator(separator) {}

    static char NativeSeparator() {
#ifdef _WIN32
        return '\\';
#else
        return '/';
#endif
    }

    // --- What the platform answers; set freely -----------------------------
    char separator;
    std::string systemDirectory;
    std::string windowsDirectory;
    bool hasPathList = false;  // set by SetPathList
    std::string pathList;
    std::map<std::string, std::string> environment;  // names compared exactly
    std::set<unsigned char> leadBytes;               // double-byte lead bytes
    // Searches beyond this many report nothing, so that a resolution loop
    // that would never end fails its test instead of hanging it.
    size_t maxFindCalls = SIZE_MAX;

    // --- What the scan asked ----------------------------------------------
    std::vector<std::pair<std::string, std::string>> findCalls;  // (directory, pattern)
    int beginScanCalls = 0;

    void SetPathList(std::string value) {
        pathList = std::move(value);
        hasPathList = true;
    }
    // Searches of `directory` (exactly this text) report these entries, in
    // this order, instead of asking the real platform.
    void Script(const std::string& directory, std::vector<ScriptedEntry> entries) {
        m_scripts[directory] = std::move(entries);
    }

    char PathSeparator() const override { return separator; }
    std::string SystemDirectory() override { return systemDirectory; }
    std::string WindowsDirectory() override { return windowsDirectory; }
    bool GetPathList(std::string& value) override {
        if (!hasPathList || pathList.empty()) return false;
        value = pathList;
        return true;
    }
    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        auto found = environment.find(name);
        if (found == environment.end() || found->second.empty()) return false;
        value = found->second;
        return true;
    }
    bool IsLeadByte(char c) const override {
        return leadBytes.count(static_cast<unsigned char>(c)) != 0;
    }

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        findCalls.emplace_back(directory, pattern);
        if (findCalls.size() > maxFindCalls) return;
        auto script = m_scripts.find(directory);
        if (script == m_scripts.end()) {
            Real().FindMatches(directory, pattern, onMatch);
            return;
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

    // Patterns looked up for any directory, in call order.
    std::vector<std::string> Patterns() const {
        std::vector<std::string> patterns;
        for (const auto& call : findCalls) patterns.push_back(call.second);
        return patterns;
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
