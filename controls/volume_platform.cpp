#include "volume_platform.h"

#include <winnetwk.h>

uint32_t CVolumePlatform::QueryDriveType(const std::string& root) {
    return ::GetDriveTypeA(root.c_str());
}

kivrel::ConnectResult CVolumePlatform::Connect(const std::string& share, const std::string& local) {
    std::string remoteName = share;
    std::string localName = local;
    NETRESOURCEA resource{};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpLocalName = localName.data();
    resource.lpRemoteName = remoteName.data();
    // No password: the user's current credentials (an empty one would fail
    // on most shares and count toward a lockout). No CONNECT_UPDATE_PROFILE:
    // the connection is not remembered for the next logon.
    const DWORD error = m_pfnAddConnection(&resource, nullptr, nullptr, 0);
    switch (error) {
        case NO_ERROR:
            return kivrel::ConnectResult::kConnected;
        case ERROR_ALREADY_ASSIGNED:
        case ERROR_DEVICE_ALREADY_REMEMBERED:
            return kivrel::ConnectResult::kLetterInUse;
        default:
            return kivrel::ConnectResult::kFailed;
    }
}

void CVolumePlatform::CancelConnection(const std::string& local) {
    // Forced: it goes even when files are open on it.
    ::WNetCancelConnection2A(local.c_str(), 0, TRUE);
}

bool CVolumePlatform::QueryFreeSpace(const std::string& root, kivrel::FreeSpace* space) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                             &totalClusters)) {
        return false;
    }
    *space = {sectorsPerCluster, bytesPerSector, freeClusters, totalClusters};
    return true;
}

bool CVolumePlatform::QueryVolumeInformation(const std::string& root,
                                             kivrel::VolumeInformation* info) {
    char volumeName[64] = "";
    char fileSystemName[64] = "";
    DWORD serialNumber = 0;
    DWORD maxComponentLength = 0;
    DWORD flags = 0;
    if (!::GetVolumeInformationA(root.c_str(), volumeName, sizeof(volumeName), &serialNumber,
                                 &maxComponentLength, &flags, fileSystemName,
                                 sizeof(fileSystemName))) {
        return false;
    }
    info->maxComponentLength = maxComponentLength;
    info->fileSystemFlags = flags;
    info->fileSystemName = fileSystemName;
    return true;
}

void CVolumePlatform::ShowReport(const std::string& text, const std::string& caption) {
    ::MessageBoxA(m_hWndOwner, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}
