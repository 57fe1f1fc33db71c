// The volume report: the root of a directory, the report's text, and the run
// of platform calls against a fake platform that records them.
#include "volume_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace kivrel {
namespace {

TEST(VolumeRoot, DrivePathsShareRootsAndTheRest) {
    struct Case {
        const char* directory;
        const char* root;
        bool share;
    };
    const Case cases[] = {
        {"C:\\Tools\\Sub", "C:\\", false},
        {"C:", "C:\\", false},
        {"d:\\", "d:\\", false},
        {"\\\\server\\share\\dir", "\\\\server\\share\\", true},
        {"\\\\server\\share", "\\\\server\\share\\", true},
        {"\\\\server", "\\\\server\\", false},
        {"relative\\dir", "relative\\dir\\", false},
        {"", "\\", false},
    };
    for (const Case& c : cases) {
        const VolumeRoot root = FindVolumeRoot(c.directory);
        EXPECT_EQ(root.text, c.root) << c.directory;
        EXPECT_EQ(root.share, c.share) << c.directory;
    }
}

VolumeInformation Ntfs(uint32_t maxComponentLength, uint32_t flags = 0) {
    return {maxComponentLength, flags, "NTFS"};
}

TEST(VolumeReportText, FiguresAndFileSystemLines) {
    const VolumeInformation longNames = Ntfs(255);
    struct Case {
        FreeSpace space;
        const VolumeInformation* info;
        const char* text;
    };
    const VolumeInformation eightThree = Ntfs(12, kVolumeIsCompressed);
    const VolumeInformation other = Ntfs(110, 0x7FFF);
    const Case cases[] = {
        // 32 clusters to the MB; the percentage comes from the truncated MB.
        {{64, 512, 80, 320},
         &longNames,
         "10 MB capacity\n2 MB free  (20%)\n\nFile system = NTFS,  not compressed\n"
         "Long file names (up to 255 chars)"},
        {{1, 1048576, 1, 3}, nullptr, "3 MB capacity\n1 MB free  (33%)"},
        {{8, 512, 10, 20},
         &eightThree,
         "0 MB capacity\n0 MB free  (0%)\n\nFile system = NTFS,  compressed\n8.3 file names"},
        {{2, 512, 2048, 4096},
         &other,
         "4 MB capacity\n2 MB free  (50%)\n\nFile system = NTFS,  not compressed\n"
         "File name component length <= 110"},
        // 4096-byte clusters of a 270 GB disk: products far beyond 32 bits.
        {{8, 512, 33026510, 66053021}, nullptr, "258019 MB capacity\n129009 MB free  (49%)"},
        // Every cluster count the platform can report, with 512 KB clusters.
        {{128, 4096, 0xFFFFFFFF, 0xFFFFFFFF},
         nullptr,
         "2147483647 MB capacity\n2147483647 MB free  (100%)"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatVolumeReport(&c.space, c.info), c.text);
    EXPECT_EQ(FormatVolumeReport(nullptr, &longNames), "Not available");
}

// A platform whose drives, connections and answers the test sets, and which
// records every call.
class FakeVolumePlatform : public IVolumePlatform {
public:
    std::map<char, uint32_t> driveTypes;           // letters in use; others are free
    std::map<char, ConnectResult> connectResults;  // per letter; kFailed otherwise
    bool freeSpaceOk = true;
    bool volumeOk = true;
    FreeSpace space{64, 512, 80, 320};
    VolumeInformation info{255, 0, "NTFS"};
    std::vector<std::string> calls;
    std::string reportText;
    std::string reportCaption;

    uint32_t QueryDriveType(const std::string& root) override {
        calls.push_back("type " + root);
        const auto it = driveTypes.find(root[0]);
        return it != driveTypes.end() ? it->second : kDriveNoRootDir;
    }
    ConnectResult Connect(const std::string& share, const std::string& local) override {
        calls.push_back("connect " + share + " " + local);
        const auto it = connectResults.find(local[0]);
        return it != connectResults.end() ? it->second : ConnectResult::kFailed;
    }
    void CancelConnection(const std::string& local) override { calls.push_back("cancel " + local); }
    bool QueryFreeSpace(const std::string& root, FreeSpace* out) override {
        calls.push_back("free " + root);
        if (freeSpaceOk) *out = space;
        return freeSpaceOk;
    }
    bool QueryVolumeInformation(const std::string& root, VolumeInformation* out) override {
        calls.push_back("volume " + root);
        if (volumeOk) *out = info;
        return volumeOk;
    }
    void BeginWaitCursor() override { calls.push_back("wait"); }
    void EndWaitCursor() override { calls.push_back("end wait"); }
    void ShowReport(const std::string& text, const std::string& caption) override {
        calls.push_back("report");
        reportText = text;
        reportCaption = caption;
    }
};

using Calls = std::vector<std::string>;

TEST(VolumeReportRun, LocalDirectoriesAreQueriedAtTheirRoot) {
    struct Case {
        const char* directory;
        bool freeSpaceOk;
        bool volumeOk;
        Calls calls;
        const char* caption;
        const char* text;
    };
    const char* full =
        "10 MB capacity\n2 MB free  (20%)\n\nFile system = NTFS,  not compressed\n"
        "Long file names (up to 255 chars)";
    const Case cases[] = {
        {"C:\\Tools",
         true,
         true,
         {"free C:\\", "volume C:\\", "report"},
         "(C:\\) properties",
         full},
        {"C:", true, true, {"free C:\\", "volume C:\\", "report"}, "(C:\\) properties", full},
        {"sub\\dir",
         true,
         true,
         {"free sub\\dir\\", "volume sub\\dir\\", "report"},
         "(sub\\dir\\) properties",
         full},
        {"C:\\", false, true, {"free C:\\", "report"}, "(C:\\) properties", "Not available"},
        {"C:\\",
         true,
         false,
         {"free C:\\", "volume C:\\", "report"},
         "(C:\\) properties",
         "10 MB capacity\n2 MB free  (20%)"},
    };
    for (const Case& c : cases) {
        FakeVolumePlatform platform;
        platform.freeSpaceOk = c.freeSpaceOk;
        platform.volumeOk = c.volumeOk;
        ShowVolumeReport(platform, c.directory);
        EXPECT_EQ(platform.calls, c.calls) << c.directory;
        EXPECT_EQ(platform.reportCaption, c.caption) << c.directory;
        EXPECT_EQ(platform.reportText, c.text) << c.directory;
    }
}

TEST(VolumeReportRun, ShareIsConnectedToAFreeLetterOnlyWhileQueried) {
    const uint32_t kFixed = 3;
    const uint32_t kUnknown = kDriveUnknown;
    struct Case {
        const char* name;
        std::map<char, uint32_t> types;
        std::map<char, ConnectResult> results;
        bool freeSpaceOk;
        Calls calls;
    };
    const std::string share = "connect \\\\server\\share ";
    const Case cases[] = {
        {"A and B in use, C free",
         {{'A', kFixed}, {'B', kFixed}},
         {{'C', ConnectResult::kConnected}},
         true,
         {"wait", "type A:\\", "type B:\\", "type C:\\", share + "C:", "end wait", "free C:\\",
          "volume C:\\", "cancel C:", "report"}},
        {"a letter of unknown type is free",
         {{'A', kUnknown}},
         {{'A', ConnectResult::kConnected}},
         true,
         {"wait", "type A:\\", share + "A:", "end wait", "free A:\\", "volume A:\\",
          "cancel A:", "report"}},
        {"a taken letter: the next one is tried",
         {},
         {{'A', ConnectResult::kLetterInUse}, {'B', ConnectResult::kConnected}},
         true,
         {"wait", "type A:\\", share + "A:", "type B:\\", share + "B:", "end wait", "free B:\\",
          "volume B:\\", "cancel B:", "report"}},
        {"any other failure stops at once",
         {},
         {{'A', ConnectResult::kFailed}, {'B', ConnectResult::kConnected}},
         true,
         {"wait", "type A:\\", share + "A:", "end wait", "free \\\\server\\share\\",
          "volume \\\\server\\share\\", "report"}},
        {"the connection goes also when the query fails",
         {},
         {{'A', ConnectResult::kConnected}},
         false,
         {"wait", "type A:\\", share + "A:", "end wait", "free A:\\", "cancel A:", "report"}},
    };
    for (const Case& c : cases) {
        FakeVolumePlatform platform;
        platform.driveTypes = c.types;
        platform.connectResults = c.results;
        platform.freeSpaceOk = c.freeSpaceOk;
        ShowVolumeReport(platform, "\\\\server\\share\\dir\\sub");
        EXPECT_EQ(platform.calls, c.calls) << c.name;
        EXPECT_EQ(platform.reportCaption, "(\\\\server\\share\\) properties") << c.name;
    }
}

TEST(VolumeReportRun, NoLetterLeftQueriesTheShareItself) {
    FakeVolumePlatform platform;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        platform.connectResults[letter] = ConnectResult::kLetterInUse;
    }
    platform.driveTypes['Z'] = 4;  // a network drive already
    ShowVolumeReport(platform, "\\\\server\\share");
    ASSERT_GE(platform.calls.size(), 4u);
    // 25 letters tried, Z skipped; no connection to cancel.
    EXPECT_EQ(std::count_if(platform.calls.begin(), platform.calls.end(),
                            [](const std::string& call) { return call.rfind("connect", 0) == 0; }),
              25);
    const Calls tail(platform.calls.end() - 4, platform.calls.end());
    EXPECT_EQ(tail, (Calls{"end wait", "free \\\\server\\share\\", "volume \\\\server\\share\\",
                           "report"}));
}

}  // namespace
}  // namespace kivrel
