// The native platform with a directory search of its own, written for
// obviousness rather than speed: each directory is read once per scan, a name
// without wildcards is looked up in a hash, any other pattern is matched
// against every entry. The plain scan uses it so that the comparison also
// covers the native platform's optimised search.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform.h"

namespace kivrel::bench {

class CPlainDirectoryPlatform : public IScanPlatform {
public:
    explicit CPlainDirectoryPlatform(std::unique_ptr<IScanPlatform> native)
        : m_native(std::move(native)) {}

    char PathSeparator() const override { return m_native->PathSeparator(); }
    std::string SystemDirectory() override { return m_native->SystemDirectory(); }
    std::string WindowsDirectory() override { return m_native->WindowsDirectory(); }
    bool GetPathList(std::string& value) override { return m_native->GetPathList(value); }
    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        return m_native->GetEnvironmentValue(name, value);
    }
    bool IsLeadByte(char c) const override { return m_native->IsLeadByte(c); }
    bool NamesAreCaseSensitive() const override { return m_native->NamesAreCaseSensitive(); }
    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override;
    void BeginScan() override { m_listings.clear(); }

private:
    struct Listing {
        std::vector<std::string> names;
        std::unordered_map<std::string, std::vector<std::string>> byFoldedName;
    };
    const Listing& List(const std::string& directory);

    std::unique_ptr<IScanPlatform> m_native;
    std::unordered_map<std::string, Listing> m_listings;
};

}  // namespace kivrel::bench
