// A platform that passes every call on to the one it holds, which can be
// replaced between scans: a scanner that lives across scans (the dialog's,
// whose lists "Cleanup before scan" may keep) still gets each module's own
// folders from the loader setup.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"

namespace kivrel {

class CPlatformSlot final : public IScanPlatform {
public:
    explicit CPlatformSlot(std::unique_ptr<IScanPlatform> platform)
        : m_pPlatform(std::move(platform)) {}

    // Not while a scan runs: the scanner reads the platform throughout.
    void Replace(std::unique_ptr<IScanPlatform> platform) { m_pPlatform = std::move(platform); }

    char PathSeparator() const override { return m_pPlatform->PathSeparator(); }
    std::string SystemDirectory() override { return m_pPlatform->SystemDirectory(); }
    std::string WindowsDirectory() override { return m_pPlatform->WindowsDirectory(); }
    std::string Wow64SystemDirectory() override { return m_pPlatform->Wow64SystemDirectory(); }
    bool GetKnownDlls(std::vector<std::string>& names) override {
        return m_pPlatform->GetKnownDlls(names);
    }
    bool GetPathList(std::string& value) override { return m_pPlatform->GetPathList(value); }
    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        return m_pPlatform->GetEnvironmentValue(name, value);
    }
    bool IsLeadByte(char c) const override { return m_pPlatform->IsLeadByte(c); }
    bool NamesAreCaseSensitive() const override { return m_pPlatform->NamesAreCaseSensitive(); }
    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        m_pPlatform->FindMatches(directory, pattern, onMatch);
    }
    void BeginScan() override { m_pPlatform->BeginScan(); }
    std::unique_ptr<CMappedImage> MapFile(const std::string& path) override {
        return m_pPlatform->MapFile(path);
    }

private:
    std::unique_ptr<IScanPlatform> m_pPlatform;
};

}  // namespace kivrel
