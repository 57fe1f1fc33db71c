// The search directory list: the five steps of BuildSearchDirectories,
// AddSearchDirectory and ExpandEnvironmentReferences. The fake platform's
// separator is '\', so that Windows paths read literally.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "reference_scanner.h"

namespace kivrel {
namespace {

using Strings = std::vector<std::string>;

class SearchOrder : public testing::Test, public IScanObserver {
protected:
    void OnDirectorySkipped(const std::string& directory, const char*) override {
        skipped.push_back(directory);
    }
    test::FakePlatform platform{'\\'};
    CReferenceScanner scanner{platform, this};
    Strings skipped;
};

// Each case builds a fresh list; %V% is 250 characters long, %HUGE% 400.
TEST_F(SearchOrder, BuildSearchDirectories) {
    const std::string v250(250, 'v');
    platform.environment = {
        {"SystemRoot", "C:\\WINNT"}, {"V", v250}, {"HUGE", std::string(400, 'h')}};
    const struct {
        const char* name;
        std::string system, windows, path, module, initial;
        Strings expected;
        size_t skips;
    } cases[] = {
        // clang-format off
        // Only an equal directory is skipped, whatever its letter case.
        {"typical installation", "C:\\WINNT\\System32", "C:\\WINNT",
         "C:\\WINNT\\system32;C:\\WINNT\\;%SystemRoot%\\System32\\Wbem;C:\\Bin", "C:\\App\\Tool.EXE", "",
         {"C:\\App\\", "C:\\WINNT\\System32\\", "C:\\WINNT\\", "C:\\WINNT\\System32\\Wbem\\", "C:\\Bin\\"}, 0},
        {"order of the five steps", "S:\\sys", "W:\\win", "P:\\one;P:\\two", "M:\\dir\\app.exe", "I:\\init",
         {"M:\\dir\\", "I:\\init\\", "S:\\sys\\", "W:\\win\\", "P:\\one\\", "P:\\two\\"}, 0},
        {"a DLL adds no directory of its own", "", "", "", "C:\\App\\lib.dll", "", {}, 0},
        {"'.exe' anywhere in the lower-cased path", "", "", "", "C:\\my.EXE.files\\lib.dll", "", {"C:\\my.EXE.files\\"}, 0},
        {"an EXE without separator adds nothing", "", "", "", "tool.exe", "", {}, 0},
        {"an EXE at the root", "", "", "", "C:\\tool.exe", "", {"C:\\"}, 0},
        {"empty path elements are ignored, no path list", "", "", ";A;;B;", "", "", {"A\\", "B\\"}, 0},
        // Texts that do not fit a 260-character buffer are skipped, not cut.
        {"a module path of 264 characters", "", "", "", "C:\\App\\" + std::string(253, 'x') + ".exe", "", {}, 0},
        {"a module path of 259 characters", "", "", "", "C:\\App\\" + std::string(248, 'x') + ".exe", "", {"C:\\App\\"}, 0},
        {"a long initial directory", "S", "", "", "", "D:\\" + std::string(300, 'i'), {"S\\"}, 1},
        {"a long path element", "", "", "A;" + std::string(260, 'p') + ";B", "", "", {"A\\", "B\\"}, 1},
        // 3 + 250 + 4 characters and the separator: 258, which fits.
        {"expansions that still fit", "", "", "C:\\%V%\\bin;C:\\%V%;D", "", "",
         {"C:\\" + v250 + "\\bin\\", "C:\\" + v250 + "\\", "D\\"}, 0},
        {"a directory growing to 260 with its separator", "", "", "C:\\%V%\\abcde;D", "", "", {"D\\"}, 1},
        {"an expansion of 260 or more is not cut", "", "", "%HUGE%;E", "", "", {"E\\"}, 1},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scanner.ClearLists();
        skipped.clear();
        platform.systemDirectory = c.system;
        platform.windowsDirectory = c.windows;
        platform.SetPathList(c.path);
        scanner.BuildSearchDirectories(c.module, c.initial);
        EXPECT_EQ(scanner.SearchDirectories().Entries(), c.expected);
        EXPECT_EQ(skipped.size(), c.skips);
    }
}

// Directory indexes are 16 bits, so at most 65,535 directories; a full list
// still takes an equal directory as listed, without a notice.
TEST_F(SearchOrder, AtMost65535Directories) {
    for (unsigned i = 0; i < 65536; ++i) scanner.AddSearchDirectory("D" + std::to_string(i));
    scanner.AddSearchDirectory("d7");
    const Strings& entries = scanner.SearchDirectories().Entries();
    ASSERT_EQ(entries.size(), 65535u);
    EXPECT_EQ(entries.back(), "D65534\\");
    EXPECT_THAT(skipped, testing::ElementsAre("D65535\\"));
}

TEST_F(SearchOrder, ExpandEnvironmentReferences) {
    platform.environment = {{"A", "x"}, {"B", "y"}, {"EMPTY", ""}, {"R", "%B%"}, {"P", "50%"}};
    const struct {
        const char* text;
        const char* expected;
        bool dbcs;  // 0x81 is a lead byte
    } cases[] = {
        // clang-format off
        {"%A%\\%B%", "x\\y", false}, {"pre%A%%B%post", "prexypost", false},
        {"%UNDEFINED%\\bin", "%UNDEFINED%\\bin", false}, {"%%", "%%", false}, {"x%", "x%", false},
        {"%EMPTY%", "%EMPTY%", false},  // an empty value reads as undefined
        // After an undefined name the scan goes on after its closing '%'.
        {"%UNDEF%A%", "%UNDEF%A%", false}, {"%%A%", "%%A%", false}, {"%UNDEF%%A%", "%UNDEF%x", false},
        // An inserted value is not scanned again.
        {"%R%", "%B%", false}, {"%P%B%", "50%B%", false},
        // A '%' that is the trail byte of a double-byte character is not a '%'.
        {"\x81%A%", "\x81%A%", true}, {"\x81%%A%", "\x81%x", true}, {"%A\x81%B%", "%A\x81%B%", true},
        {"\x81%A%", "\x81x", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        platform.leadBytes.clear();
        if (c.dbcs) platform.leadBytes = {0x81};
        std::string text = c.text;
        scanner.ExpandEnvironmentReferences(text);
        EXPECT_EQ(text, c.expected) << c.text;
    }
}

}  // namespace
}  // namespace kivrel
