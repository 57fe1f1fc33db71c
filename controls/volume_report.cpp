#include "volume_report.h"

namespace kivrel {

namespace {
constexpr uint64_t kBytesPerMegabyte = 1048576;

// Connects a free drive letter to the share; the letter's root ("D:\"), or
// empty when none got connected.
std::string ConnectFreeLetter(IVolumePlatform& platform, const std::string& shareRoot) {
    // The platform names a share without the trailing backslash.
    const std::string share = shareRoot.substr(0, shareRoot.size() - 1);
    platform.BeginWaitCursor();
    std::string connected;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = {letter, ':', '\\'};
        const uint32_t type = platform.QueryDriveType(root);
        if (type != kDriveUnknown && type != kDriveNoRootDir) continue;
        const ConnectResult result = platform.Connect(share, root.substr(0, 2));
        if (result == ConnectResult::kConnected) {
            connected = root;
            break;
        }
        // Any failure but a taken letter would fail the same way on every
        // letter: one click must not become a series of failed logons.
        if (result != ConnectResult::kLetterInUse) break;
    }
    platform.EndWaitCursor();
    return connected;
}
}  // namespace

VolumeRoot FindVolumeRoot(const std::string& directory) {
    const size_t colon = directory.find(':');
    if (colon != std::string::npos) return {directory.substr(0, colon + 1) + "\\", false};
    const std::string text = directory + "\\";
    size_t position = std::string::npos;
    for (int found = 0; found < 4; ++found) {
        position = text.find('\\', position + 1);
        if (position == std::string::npos) return {text, false};
    }
    return {text.substr(0, position + 1), true};
}

std::string FormatVolumeReport(const FreeSpace* space, const VolumeInformation* info) {
    if (space == nullptr) return "Not available";
    // A cluster count times the cluster size overflows 32 bits on any disk of 4 GB.
    const uint64_t cluster = uint64_t{space->sectorsPerCluster} * space->bytesPerSector;
    const uint64_t capacity = cluster * space->totalClusters / kBytesPerMegabyte;
    const uint64_t free = cluster * space->freeClusters / kBytesPerMegabyte;
    const uint64_t percent = capacity == 0 ? 0 : free * 100 / capacity;
    std::string text = std::to_string(capacity) + " MB capacity\n" + std::to_string(free) +
                       " MB free  (" + std::to_string(percent) + "%)";
    if (info == nullptr) return text;
    text += "\n\nFile system = " + info->fileSystemName + ",  " +
            ((info->fileSystemFlags & kVolumeIsCompressed) != 0 ? "compressed" : "not compressed") +
            "\n";
    if (info->maxComponentLength == 12) {
        text += "8.3 file names";
    } else if (info->maxComponentLength == 255) {
        text += "Long file names (up to 255 chars)";
    } else {
        text += "File name component length <= " + std::to_string(info->maxComponentLength);
    }
    return text;
}

void ShowVolumeReport(IVolumePlatform& platform, const std::string& directory) {
    const VolumeRoot root = FindVolumeRoot(directory);
    const std::string connected = root.share ? ConnectFreeLetter(platform, root.text) : "";
    const std::string query = connected.empty() ? root.text : connected;

    FreeSpace space;
    VolumeInformation info;
    std::string text;
    if (!platform.QueryFreeSpace(query, &space)) {
        text = FormatVolumeReport(nullptr, nullptr);
    } else {
        const bool haveInfo = platform.QueryVolumeInformation(query, &info);
        text = FormatVolumeReport(&space, haveInfo ? &info : nullptr);
    }
    if (!connected.empty()) platform.CancelConnection(connected.substr(0, 2));
    platform.ShowReport(text, "(" + root.text + ") properties");
}

}  // namespace kivrel
