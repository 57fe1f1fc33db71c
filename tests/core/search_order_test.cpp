// The search directory list: AddSearchDirectory, the five steps of
// BuildSearchDirectories and ExpandEnvironmentReferences. The platform is a
// fake with '\' as separator, so Windows paths read literally.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "reference_scanner.h"

namespace kivrel {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using Strings = std::vector<std::string>;

class SkipRecorder : public IScanObserver {
public:
    void OnDirectorySkipped(const std::string& directory, const char* reason) override {
        skipped.push_back(directory + " | " + reason);
    }
    Strings skipped;
};

class SearchOrder : public testing::Test {
protected:
    SearchOrder() : platform('\\'), scanner(platform, &observer) {}

    Strings Build(const std::string& module, const std::string& initial = "") {
        scanner.BuildSearchDirectories(module, initial);
        return scanner.SearchDirectories().Entries();
    }
    Strings Add(const Strings& directories) {
        for (const std::string& d : directories) scanner.AddSearchDirectory(d);
        return scanner.SearchDirectories().Entries();
    }

    test::FakePlatform platform;
    SkipRecorder observer;
    CReferenceScanner scanner;
};

// Each case builds a fresh list; %V% is 250 characters long, %HUGE% 400.
TEST_F(SearchOrder, BuildSearchDirectories) {
    const std::string v250(250, 'v');
    const struct {
        const char* name;
        std::string system, windows, path, module, initial;
        Strings expected;
    } cases[] = {
        // clang-format off
        // Only an equal directory is skipped: C:\WINNT\ (a parent of the system
        // directory) is added; the PATH's C:\WINNT\system32 and C:\WINNT are not.
        {"typical installation", "C:\\WINNT\\System32", "C:\\WINNT",
         "C:\\WINNT\\system32;C:\\WINNT;%SystemRoot%\\System32\\Wbem;C:\\Bin", "C:\\App\\Tool.EXE", "",
         {"C:\\App\\", "C:\\WINNT\\System32\\", "C:\\WINNT\\", "C:\\WINNT\\System32\\Wbem\\", "C:\\Bin\\"}},
        {"order of the five steps", "S:\\sys", "W:\\win", "P:\\one;P:\\two", "M:\\dir\\app.exe", "I:\\init",
         {"M:\\dir\\", "I:\\init\\", "S:\\sys\\", "W:\\win\\", "P:\\one\\", "P:\\two\\"}},
        {"a parent directory is added", "", "", "", "C:\\App\\Tool.exe", "C:\\", {"C:\\App\\", "C:\\"}},
        {"a DLL adds no directory of its own", "", "", "", "C:\\App\\lib.dll", "", {}},
        {"'.exe' anywhere in the lower-cased path", "", "", "", "C:\\my.EXE.files\\lib.dll", "",
         {"C:\\my.EXE.files\\"}},
        {"an EXE without separator adds nothing", "", "", "", "tool.exe", "", {}},
        {"an EXE at the root", "", "", "", "C:\\tool.exe", "", {"C:\\"}},
        {"the initial directory gets one separator", "", "", "", "", "D:\\Work", {"D:\\Work\\"}},
        {"an initial directory ending in one", "", "", "", "", "D:\\Work\\", {"D:\\Work\\"}},
        {"empty texts add nothing", "", "", ";;;", "", "", {}},
        {"empty path elements are ignored", "", "", ";A;;B;", "", "", {"A\\", "B\\"}},
        {"no path list", "S", "", "", "", "", {"S\\"}},
        // Texts that do not fit a 260-character buffer are skipped, not cut.
        {"a module path of 264 characters adds no directory", "", "", "",
         "C:\\App\\" + std::string(253, 'x') + ".exe", "", {}},
        {"a module path of 259 characters", "", "", "", "C:\\App\\" + std::string(248, 'x') + ".exe", "",
         {"C:\\App\\"}},
        {"a long initial directory is skipped", "S", "", "", "", "D:\\" + std::string(300, 'i'), {"S\\"}},
        {"a long path element is skipped, the rest kept", "", "", "A;" + std::string(260, 'p') + ";B",
         "", "", {"A\\", "B\\"}},
        // 3 + 250 + 4 characters and the separator: 258, which fits.
        {"expansions that still fit", "", "", "C:\\%V%\\bin;C:\\%V%;D", "", "",
         {"C:\\" + v250 + "\\bin\\", "C:\\" + v250 + "\\", "D\\"}},
        {"an expansion growing to 260 with its separator", "", "", "C:\\%V%\\abcde;D", "", "", {"D\\"}},
        {"a value of 260 characters or more is not cut", "", "", "%HUGE%;E", "", "", {"E\\"}},
        {"undefined references are added unchanged", "", "", "%UNDEFINED%\\bin;%%;x%", "", "",
         {"%UNDEFINED%\\bin\\", "%%\\", "x%\\"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scanner.ClearLists();
        observer.skipped.clear();
        platform.systemDirectory = c.system;
        platform.windowsDirectory = c.windows;
        platform.SetPathList(c.path);
        platform.hasPathList = !c.path.empty();
        platform.environment = {
            {"SystemRoot", "C:\\WINNT"}, {"V", v250}, {"HUGE", std::string(400, 'h')}};
        EXPECT_EQ(Build(c.module, c.initial), c.expected);
        // Whatever did not fit a 260-character buffer was reported as skipped.
        if (c.initial.size() > 260) {
            EXPECT_THAT(observer.skipped, testing::Not(IsEmpty()));
        }
    }
}

TEST_F(SearchOrder, OnlyEqualDirectoriesAreSkippedWithoutRegardToCase) {
    EXPECT_THAT(
        Add({"C:\\App", "C:\\App\\Sub", "C:\\Ap", "C:\\Apple", "c:\\APP\\", "C:\\app\\sub", ""}),
        ElementsAre("C:\\App\\", "C:\\App\\Sub\\", "C:\\Ap\\", "C:\\Apple\\"));
    EXPECT_THAT(observer.skipped, IsEmpty());
}

// Texts that do not fit a 260-character buffer are skipped, not cut.
TEST_F(SearchOrder, DirectoryGrowingTo260WithItsSeparatorIsSkipped) {
    const std::string fits = "C:\\" + std::string(255, 'd');  // 258 characters
    EXPECT_THAT(Add({fits, "C:\\" + std::string(256, 'e')}), ElementsAre(fits + "\\"));
    EXPECT_EQ(observer.skipped.size(), 1u);
}

// Nothing is tested for existence, and the separator is the platform's.
TEST(SearchOrderSeparator, PlatformSeparatorIsUsed) {
    test::FakePlatform platform('/');
    CReferenceScanner scanner(platform);
    platform.SetPathList("/opt/dlls;/opt/dlls/");
    scanner.BuildSearchDirectories("/home/u/app.exe", "/no/such/dir");
    EXPECT_THAT(scanner.SearchDirectories().Entries(),
                ElementsAre("/home/u/", "/no/such/dir/", "/opt/dlls/"));
}

// With cleanup off the list only grows: a second module's directory comes
// after the PATH directories of the first scan.
TEST_F(SearchOrder, SecondBuildAppendsOnlyWhatIsNew) {
    platform.systemDirectory = "S:\\sys";
    platform.SetPathList("P:\\bin");
    Build("A:\\first.exe");
    EXPECT_THAT(Build("B:\\second.exe"), ElementsAre("A:\\", "S:\\sys\\", "P:\\bin\\", "B:\\"));
}

// Directory indexes are 16 bits, so at most 65,535 directories.
TEST_F(SearchOrder, AtMost65535Directories) {
    for (unsigned i = 0; i < 65536; ++i) scanner.AddSearchDirectory("D" + std::to_string(i));
    const auto& entries = scanner.SearchDirectories().Entries();
    ASSERT_EQ(entries.size(), 65535u);
    EXPECT_EQ(entries.back(), "D65534\\");
    ASSERT_EQ(observer.skipped.size(), 1u);
    EXPECT_THAT(observer.skipped[0], testing::StartsWith("D65535\\"));
    // A full list still reports an equal directory as listed, without a notice.
    scanner.AddSearchDirectory("d7");
    EXPECT_EQ(observer.skipped.size(), 1u);
}

TEST_F(SearchOrder, ExpandEnvironmentReferences) {
    platform.environment = {{"A", "x"}, {"B", "y"}, {"EMPTY", ""}, {"R", "%B%"}, {"P", "50%"}};
    const struct {
        const char* text;
        const char* expected;
        bool dbcs;  // 0x81 is a lead byte
    } cases[] = {
        // clang-format off
        {"%A%\\%B%", "x\\y", false}, {"%A%%B%", "xy", false}, {"pre%A%post", "prexpost", false},
        {"%UNDEFINED%\\bin", "%UNDEFINED%\\bin", false}, {"%%", "%%", false}, {"x%", "x%", false},
        {"%EMPTY%", "%EMPTY%", false},  // an empty value reads as undefined
        // After an undefined name the scan goes on after its closing '%'.
        {"%UNDEF%A%", "%UNDEF%A%", false}, {"%%A%", "%%A%", false}, {"%UNDEF%%A%", "%UNDEF%x", false},
        // An inserted value is not scanned again.
        {"%R%", "%B%", false}, {"%P%B%", "50%B%", false},
        // A '%' that is the trail byte of a double-byte character is not a '%'.
        {"\x81%A%", "\x81%A%", true}, {"\x81%%A%", "\x81%x", true}, {"%A\x81", "%A\x81", true},
        {"%A\x81%B%", "%A\x81%B%", true},  // the name is 'A\x81%B', undefined
        {"\x81%A%", "\x81x", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        platform.leadBytes.clear();
        if (c.dbcs) platform.leadBytes = {0x81};
        std::string text = c.text;
        scanner.ExpandEnvironmentReferences(text);
        EXPECT_EQ(text, c.expected);
    }
}

}  // namespace
}  // namespace kivrel
