// The volume report behind "Properties..." of the directory dialog: the root
// of the volume that holds a directory, the report's text, and the run of
// platform calls that produces it. Platform-neutral: the platform is reached
// only through IVolumePlatform, so the whole run is tested natively.
#pragma once

#include <cstdint>
#include <string>

namespace kivrel {

// The platform's drive types that mean "no volume at this letter".
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
// File-system flag of a compressed volume.
constexpr uint32_t kVolumeIsCompressed = 0x8000;

enum class ConnectResult {
    kConnected,
    kLetterInUse,  // the local name is taken: another letter may work
    kFailed,       // anything else (bad password, no network): stop trying
};

struct FreeSpace {
    uint32_t sectorsPerCluster = 0;
    uint32_t bytesPerSector = 0;
    uint32_t freeClusters = 0;
    uint32_t totalClusters = 0;
};

struct VolumeInformation {
    uint32_t maxComponentLength = 0;
    uint32_t fileSystemFlags = 0;
    std::string fileSystemName;
};

class IVolumePlatform {
public:
    virtual ~IVolumePlatform() = default;
    // Drive type of a root such as "D:\".
    virtual uint32_t QueryDriveType(const std::string& root) = 0;
    // Connects `share` ("\\server\share") to `local` ("D:") for this session only.
    virtual ConnectResult Connect(const std::string& share, const std::string& local) = 0;
    virtual void CancelConnection(const std::string& local) = 0;
    virtual bool QueryFreeSpace(const std::string& root, FreeSpace* space) = 0;
    virtual bool QueryVolumeInformation(const std::string& root, VolumeInformation* info) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    virtual void ShowReport(const std::string& text, const std::string& caption) = 0;
};

struct VolumeRoot {
    std::string text;    // "C:\" or "\\server\share\"; what the caption shows
    bool share = false;  // a network share: a drive letter is connected to it
};

// The root of the volume that holds `directory`: up to its first colon for a
// drive path, the first four backslash-separated parts for a UNC path,
// otherwise the directory itself with a backslash appended.
VolumeRoot FindVolumeRoot(const std::string& directory);

// The report's text; `space` null: the free-space query failed, `info` null:
// the volume-information query failed.
std::string FormatVolumeReport(const FreeSpace* space, const VolumeInformation* info);

// Queries the volume that holds `directory` and shows the report. A share is
// connected to the first free letter for the queries and always disconnected
// before the report is shown.
void ShowVolumeReport(IVolumePlatform& platform, const std::string& directory);

}  // namespace kivrel
