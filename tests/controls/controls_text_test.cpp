// The controls' platform-neutral rules: the directory dialog's field text, the
// volume report (its root, text and platform calls) and the help tip's shadow.
#include <gtest/gtest.h>

#include <map>

#include "directory_text.h"
#include "help_tip_shadow.h"
#include "volume_report.h"

namespace kivrel {
namespace {

TEST(DirectoryText, TypedTextBecomesAbsoluteAgainstTheShownFolder) {
    const char* const computer = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    const char* const cases[][3] = {
        // shown folder, typed text, absolute directory ("" when there is none)
        // clang-format off
        {"C:\\Tools", "sub", "C:\\Tools\\sub"}, {"C:\\", "sub\\deeper", "C:\\sub\\deeper"}, {"C:\\Tools", "", "C:\\Tools"},
        {"C:\\Tools", "D:\\Data\\", "D:\\Data\\"}, {"C:\\Tools", "d:", "d:"}, {"C:\\Tools", "\\Windows", "C:\\Windows"},
        {"C:\\Tools", "\\\\srv\\s", "\\\\srv\\s"}, {"\\\\srv\\s", "dir", "\\\\srv\\s\\dir"}, {"C:\\Tools", "D:relative", ""},
        {"\\\\srv\\s", "\\rooted", ""}, {computer, "sub", ""}, {computer, "", ""}, {"", "sub", ""},
        // clang-format on
    };
    for (const auto& [folder, typed, absolute] : cases)
        EXPECT_EQ(AbsoluteDirectory(folder, typed), absolute) << folder << " + " << typed;
}

TEST(DirectoryText, TrailingBackslashParentAndSearchPattern) {
    const char* const cases[][3] = {
        // text, without its trailing backslash, parent directory
        // clang-format off
        {"C:\\Tools\\", "C:\\Tools", "C:\\Tools"}, {"C:\\Tools", "C:\\Tools", "C:\\"},
        {"C:\\dir\\file.txt", "C:\\dir\\file.txt", "C:\\dir"}, {"file.txt", "file.txt", ""}, {"", "", ""},
        // clang-format on
    };
    for (const auto& [text, trimmed, parent] : cases) {
        EXPECT_EQ(WithoutTrailingBackslash(text), trimmed) << text;
        EXPECT_EQ(ParentDirectory(text), parent) << text;
    }
    // 255 characters and "\*.*" make 259: the last that fits with its terminator.
    EXPECT_EQ(SearchPattern("C:\\Tools"), "C:\\Tools\\*.*");
    EXPECT_TRUE(FitsPathBuffer(SearchPattern(std::string(255, 'a'))));
    EXPECT_FALSE(FitsPathBuffer(SearchPattern(std::string(256, 'a'))));
}

using Calls = std::vector<std::string>;

TEST(VolumeReport, RootsAndTexts) {
    // clang-format off
    const std::tuple<const char*, const char*, bool> roots[] = {
        {"C:\\Tools\\Sub", "C:\\", false}, {"C:", "C:\\", false},
        {"\\\\server\\share\\dir", "\\\\server\\share\\", true},
        {"\\\\server\\share", "\\\\server\\share\\", true},
        {"\\\\server", "\\\\server\\", false}, {"relative\\dir", "relative\\dir\\", false},
    };
    // clang-format on
    for (const auto& [directory, text, share] : roots) {
        EXPECT_EQ(FindVolumeRoot(directory).text, text) << directory;
        EXPECT_EQ(FindVolumeRoot(directory).share, share) << directory;
    }
    const VolumeInformation longNames{255, 0, "NTFS"}, eightThree{12, kVolumeIsCompressed, "NTFS"},
        other{110, 0x7FFF, "NTFS"};
    // clang-format off
    const std::tuple<FreeSpace, const VolumeInformation*, const char*> texts[] = {
        // 32 clusters to the MB; the percentage comes from the truncated MB.
        {{64, 512, 80, 320}, &longNames,
         "10 MB capacity\n2 MB free  (20%)\n\nFile system = NTFS,  not compressed\n"
         "Long file names (up to 255 chars)"},
        {{8, 512, 10, 20}, &eightThree,
         "0 MB capacity\n0 MB free  (0%)\n\nFile system = NTFS,  compressed\n8.3 file names"},
        {{2, 512, 2048, 4096}, &other,
         "4 MB capacity\n2 MB free  (50%)\n\nFile system = NTFS,  not compressed\n"
         "File name component length <= 110"},
        // Products far beyond 32 bits.
        {{128, 4096, 0xFFFFFFFF, 0xFFFFFFFF}, nullptr, "2147483647 MB capacity\n2147483647 MB free  (100%)"},
    };
    // clang-format on
    for (const auto& [space, info, text] : texts) EXPECT_EQ(FormatVolumeReport(&space, info), text);
    EXPECT_EQ(FormatVolumeReport(nullptr, &longNames), "Not available");
}

// Letters listed in `types` are in use unless of unknown type; a letter's
// connection fails unless listed in `results`. Records every call.
struct VolumeScript {
    std::map<char, uint32_t> types;
    std::map<char, ConnectResult> results;
    bool freeOk, volumeOk;
};
struct FakeVolumePlatform : IVolumePlatform, VolumeScript {
    explicit FakeVolumePlatform(const VolumeScript& script) : VolumeScript(script) {}
    Calls calls;
    std::string text;

    uint32_t QueryDriveType(const std::string& root) override {
        calls.push_back("type " + root);
        return types.count(root[0]) ? types[root[0]] : kDriveNoRootDir;
    }
    ConnectResult Connect(const std::string& share, const std::string& local) override {
        calls.push_back("connect " + share + " " + local);
        return results.count(local[0]) ? results[local[0]] : ConnectResult::kFailed;
    }
    void CancelConnection(const std::string& local) override { calls.push_back("cancel " + local); }
    bool QueryFreeSpace(const std::string& root, FreeSpace* out) override {
        calls.push_back("free " + root);
        if (freeOk) *out = {64, 512, 80, 320};
        return freeOk;
    }
    bool QueryVolumeInformation(const std::string& root, VolumeInformation* out) override {
        calls.push_back("volume " + root);
        if (volumeOk) *out = {255, 0, "NTFS"};
        return volumeOk;
    }
    void BeginWaitCursor() override { calls.push_back("wait"); }
    void EndWaitCursor() override { calls.push_back("end"); }
    void ShowReport(const std::string& shown, const std::string& title) override {
        calls.push_back("report " + title);
        text = shown;
    }
};

// A share is connected to the first free letter only while it is queried;
// any failure but a taken letter stops at once (no series of failed logons),
// and with no letter left the share itself is queried. A failed query reports
// "Not available", missing volume information only the figures.
TEST(VolumeReport, QueriesTheRootOrAShareThroughAFreeLetter) {
    const ConnectResult kOk = ConnectResult::kConnected, kTaken = ConnectResult::kLetterInUse;
    const std::string to = "connect \\\\srv\\s ", share = "report (\\\\srv\\s\\) properties";
    const std::string local = "report (C:\\) properties",
                      figures = "10 MB capacity\n2 MB free  (20%)";
    std::map<char, ConnectResult> allTaken;
    Calls tryAll{"wait"};
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        allTaken[letter] = kTaken;
        tryAll.insert(tryAll.end(), {std::string("type ") + letter + ":\\", to + letter + ":"});
    }
    tryAll.insert(tryAll.end(), {"end", "free \\\\srv\\s\\", "volume \\\\srv\\s\\", share});
    // clang-format off
    const struct {
        const char* directory;
        VolumeScript script;
        Calls calls;
        std::string text;
    } cases[] = {
        {"C:\\Tools", {{}, {}, true, false}, {"free C:\\", "volume C:\\", local}, figures},
        {"C:\\", {{}, {}, false, true}, {"free C:\\", local}, "Not available"},
        {"\\\\srv\\s\\dir", {{{'A', 3}, {'B', kDriveUnknown}}, {{'B', kOk}}, true, true},
         {"wait", "type A:\\", "type B:\\", to + "B:", "end", "free B:\\", "volume B:\\", "cancel B:", share},
         figures + "\n\nFile system = NTFS,  not compressed\nLong file names (up to 255 chars)"},
        {"\\\\srv\\s", {{}, {{'A', kTaken}, {'B', kOk}}, true, false},
         {"wait", "type A:\\", to + "A:", "type B:\\", to + "B:", "end", "free B:\\", "volume B:\\", "cancel B:", share},
         figures},
        {"\\\\srv\\s", {{}, {{'B', kOk}}, true, false},
         {"wait", "type A:\\", to + "A:", "end", "free \\\\srv\\s\\", "volume \\\\srv\\s\\", share}, figures},
        {"\\\\srv\\s", {{}, {{'A', kOk}}, false, true},
         {"wait", "type A:\\", to + "A:", "end", "free A:\\", "cancel A:", share}, "Not available"},
        {"\\\\srv\\s", {{}, allTaken, true, false}, tryAll, figures},
    };
    // clang-format on
    for (const auto& c : cases) {
        FakeVolumePlatform platform(c.script);
        ShowVolumeReport(platform, c.directory);
        EXPECT_EQ(platform.calls, c.calls) << c.directory;
        EXPECT_EQ(platform.text, c.text) << c.directory;
    }
}

TEST(HelpTipShadow, DarkensTheBandMostNextToTheTipWithSoftenedEnds) {
    const char* const depths[] = {"0000000000000", "0000000010000", "0000000022000",
                                  "0000000033300", "0000000044440", "0000000054321",
                                  "0123455544321", "0023444443321", "0003433333221",
                                  "0000422222211", "0000011111110"};
    const int width = 13, height = 11;
    std::vector<uint32_t> pixels(width * height, 0x00C08040);
    DarkenHelpTipShadow(pixels, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t d = 16 * (depths[y][x] - '0');  // blue stops at 0
            EXPECT_EQ(pixels[y * width + x],
                      (0xC0 - d) << 16 | (0x80 - d) << 8 | (d < 0x40 ? 0x40 - d : 0))
                << x << "," << y;
        }
    // A buffer that is not width x height pixels is left alone.
    std::vector<uint32_t> small(width, 0x00FFFFFF);
    DarkenHelpTipShadow(small, width, height);
    EXPECT_EQ(small, std::vector<uint32_t>(width, 0x00FFFFFF));
}

}  // namespace
}  // namespace kivrel
