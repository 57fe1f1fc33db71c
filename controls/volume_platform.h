// The volume report's platform on Windows: drive types, network connections
// through the network-provider library, the free-space and volume queries,
// the wait cursor and the report's message box.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <winnetwk.h>

#include <optional>

#include "volume_report.h"
#include "wait_cursor.h"

class CVolumePlatform : public kivrel::IVolumePlatform {
public:
    // `hWndOwner`: the window that owns the report's message box.
    explicit CVolumePlatform(HWND hWndOwner) : m_hWndOwner(hWndOwner) {}

    uint32_t QueryDriveType(const std::string& root) override;
    kivrel::ConnectResult Connect(const std::string& share, const std::string& local) override;
    void CancelConnection(const std::string& local) override;
    bool QueryFreeSpace(const std::string& root, kivrel::FreeSpace* space) override;
    bool QueryVolumeInformation(const std::string& root, kivrel::VolumeInformation* info) override;
    void BeginWaitCursor() override { m_wait.emplace(); }
    void EndWaitCursor() override { m_wait.reset(); }
    void ShowReport(const std::string& text, const std::string& caption) override;

    // The platform's connect call; a test puts a recorder here.
    using AddConnectionFunction = DWORD(WINAPI*)(NETRESOURCEA*, LPCSTR, LPCSTR, DWORD);
    AddConnectionFunction m_pfnAddConnection = &::WNetAddConnection2A;

private:
    HWND m_hWndOwner;
    std::optional<CWaitCursor> m_wait;
};
