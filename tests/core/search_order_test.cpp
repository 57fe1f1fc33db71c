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

class SkipRecorder : public IScanObserver {
public:
    void OnDirectorySkipped(const std::string& directory, const char* reason) override {
        skipped.push_back(directory + " | " + reason);
    }
    std::vector<std::string> skipped;
};

class SearchOrder : public testing::Test {
protected:
    SearchOrder() : platform('\\'), scanner(platform, &observer) {}

    std::vector<std::string> Build(const std::string& module, const std::string& initial = "") {
        scanner.BuildSearchDirectories(module, initial);
        return scanner.SearchDirectories().Entries();
    }
    std::string Expand(std::string text) {
        scanner.ExpandEnvironmentReferences(text);
        return text;
    }

    test::FakePlatform platform;
    SkipRecorder observer;
    CReferenceScanner scanner;
};

// A typical Windows installation. Only an equal directory is
// skipped, so the Windows directory C:\WINNT\ (a parent of the system
// directory) is added after it; the PATH elements C:\WINNT\system32 and
// C:\WINNT equal listed entries and are skipped.
TEST_F(SearchOrder, SpecExampleWithEqualityRule) {
    platform.systemDirectory = "C:\\WINNT\\System32";
    platform.windowsDirectory = "C:\\WINNT";
    platform.SetPathList("C:\\WINNT\\system32;C:\\WINNT;%SystemRoot%\\System32\\Wbem;C:\\Bin");
    platform.environment["SystemRoot"] = "C:\\WINNT";
    EXPECT_THAT(Build("C:\\App\\Tool.EXE"),
                ElementsAre("C:\\App\\", "C:\\WINNT\\System32\\", "C:\\WINNT\\",
                            "C:\\WINNT\\System32\\Wbem\\", "C:\\Bin\\"));
}

TEST_F(SearchOrder, OrderOfTheFiveSteps) {
    platform.systemDirectory = "S:\\sys";
    platform.windowsDirectory = "W:\\win";
    platform.SetPathList("P:\\one;P:\\two");
    EXPECT_THAT(
        Build("M:\\dir\\app.exe", "I:\\init"),
        ElementsAre("M:\\dir\\", "I:\\init\\", "S:\\sys\\", "W:\\win\\", "P:\\one\\", "P:\\two\\"));
}

TEST_F(SearchOrder, DllAddsNoDirectoryOfItsOwn) {
    EXPECT_THAT(Build("C:\\App\\lib.dll"), IsEmpty());
}

TEST_F(SearchOrder, ExeAnywhereInTheLowerCasedPath) {
    EXPECT_THAT(Build("C:\\my.EXE.files\\lib.dll"), ElementsAre("C:\\my.EXE.files\\"));
}

TEST_F(SearchOrder, ExeWithoutSeparatorAddsNothing) { EXPECT_THAT(Build("tool.exe"), IsEmpty()); }

TEST_F(SearchOrder, ExeAtTheRoot) { EXPECT_THAT(Build("C:\\tool.exe"), ElementsAre("C:\\")); }

TEST_F(SearchOrder, InitialDirectoryGetsOneSeparator) {
    EXPECT_THAT(Build("", "D:\\Work"), ElementsAre("D:\\Work\\"));
    scanner.ClearLists();
    EXPECT_THAT(Build("", "D:\\Work\\"), ElementsAre("D:\\Work\\"));
}

// A parent of a listed directory is added: a prefix test would have left
// 'C:\' out.
TEST_F(SearchOrder, ParentDirectoryIsAdded) {
    EXPECT_THAT(Build("C:\\App\\Tool.exe", "C:\\"), ElementsAre("C:\\App\\", "C:\\"));
}

TEST_F(SearchOrder, SubdirectoryAndLongerNameAreAdded) {
    scanner.AddSearchDirectory("C:\\App");
    scanner.AddSearchDirectory("C:\\App\\Sub");
    scanner.AddSearchDirectory("C:\\Ap");
    scanner.AddSearchDirectory("C:\\Apple");
    EXPECT_THAT(scanner.SearchDirectories().Entries(),
                ElementsAre("C:\\App\\", "C:\\App\\Sub\\", "C:\\Ap\\", "C:\\Apple\\"));
}

TEST_F(SearchOrder, EqualDirectoryIsSkippedWithoutRegardToCase) {
    scanner.AddSearchDirectory("C:\\WINNT\\System32");
    scanner.AddSearchDirectory("c:\\winnt\\SYSTEM32\\");
    scanner.AddSearchDirectory("C:\\WINNT\\System32");
    EXPECT_THAT(scanner.SearchDirectories().Entries(), ElementsAre("C:\\WINNT\\System32\\"));
}

TEST_F(SearchOrder, EmptyTextsAddNothing) {
    platform.SetPathList(";;;");
    EXPECT_THAT(Build("", ""), IsEmpty());
    scanner.AddSearchDirectory("");
    EXPECT_THAT(scanner.SearchDirectories().Entries(), IsEmpty());
}

TEST_F(SearchOrder, EmptyPathElementsAreIgnored) {
    platform.SetPathList(";A;;B;");
    EXPECT_THAT(Build(""), ElementsAre("A\\", "B\\"));
}

TEST_F(SearchOrder, MissingPathAddsNothing) {
    platform.systemDirectory = "S";
    EXPECT_THAT(Build(""), ElementsAre("S\\"));
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

// --- Texts that do not fit a 260-character buffer are skipped, not cut ----

TEST_F(SearchOrder, DirectoryOf259CharactersWithSeparatorIsKept) {
    const std::string dir = "C:\\" + std::string(255, 'd');  // 258 characters
    scanner.AddSearchDirectory(dir);
    EXPECT_THAT(scanner.SearchDirectories().Entries(), ElementsAre(dir + "\\"));
}

TEST_F(SearchOrder, DirectoryThatGrowsTo260WithItsSeparatorIsSkipped) {
    const std::string dir = "C:\\" + std::string(256, 'd');  // 259 characters
    scanner.AddSearchDirectory(dir);
    EXPECT_THAT(scanner.SearchDirectories().Entries(), IsEmpty());
    EXPECT_EQ(observer.skipped.size(), 1u);
}

TEST_F(SearchOrder, LongModulePathAddsNoDirectory) {
    const std::string module = "C:\\App\\" + std::string(253, 'x') + ".exe";  // 264 characters
    EXPECT_THAT(Build(module), IsEmpty());
    const std::string fits = "C:\\App\\" + std::string(248, 'x') + ".exe";  // 259 characters
    EXPECT_THAT(Build(fits), ElementsAre("C:\\App\\"));
}

TEST_F(SearchOrder, LongInitialDirectoryIsSkipped) {
    platform.systemDirectory = "S";
    EXPECT_THAT(Build("", "D:\\" + std::string(300, 'i')), ElementsAre("S\\"));
    EXPECT_THAT(observer.skipped, testing::Not(IsEmpty()));
}

TEST_F(SearchOrder, LongPathElementIsSkippedAndTheRestKept) {
    platform.SetPathList("A;" + std::string(260, 'p') + ";B");
    EXPECT_THAT(Build(""), ElementsAre("A\\", "B\\"));
}

TEST_F(SearchOrder, ExpansionGrowingPast259IsSkipped) {
    platform.environment["LONG"] = std::string(250, 'v');
    platform.SetPathList("C:\\%LONG%\\bin;C:\\%LONG%;D");
    // 3 + 250 + 4 characters and the separator: 258, which fits.
    const std::string fits = "C:\\" + std::string(250, 'v') + "\\bin\\";
    ASSERT_EQ(fits.size(), 258u);
    EXPECT_THAT(Build(""), ElementsAre(fits, "C:\\" + std::string(250, 'v') + "\\", "D\\"));

    scanner.ClearLists();
    platform.environment["LONG"] = std::string(254, 'v');
    platform.SetPathList("C:\\%LONG%\\bin;D");  // 3 + 254 + 4 + 1 = 262 characters
    EXPECT_THAT(Build(""), ElementsAre("D\\"));
}

TEST_F(SearchOrder, ValueOf260CharactersOrMoreIsNotCut) {
    platform.environment["HUGE"] = std::string(400, 'h');
    platform.SetPathList("%HUGE%;E");
    EXPECT_THAT(Build(""), ElementsAre("E\\"));
}

// Directory indexes are 16 bits, so at most 65,535 directories.
TEST_F(SearchOrder, AtMost65535Directories) {
    for (unsigned i = 0; i < 65536; ++i) scanner.AddSearchDirectory("D" + std::to_string(i));
    const auto& entries = scanner.SearchDirectories().Entries();
    ASSERT_EQ(entries.size(), 65535u);
    EXPECT_EQ(entries.front(), "D0\\");
    EXPECT_EQ(entries.back(), "D65534\\");
    ASSERT_EQ(observer.skipped.size(), 1u);
    EXPECT_THAT(observer.skipped[0], testing::StartsWith("D65535\\"));
    // A full list still reports an equal directory as listed, without a notice.
    scanner.AddSearchDirectory("d7");
    EXPECT_EQ(observer.skipped.size(), 1u);
}

// --- %NAME% expansion --------------------------------------------------------

TEST_F(SearchOrder, ExpandsDefinedVariables) {
    platform.environment["A"] = "x";
    platform.environment["B"] = "y";
    EXPECT_EQ(Expand("%A%\\%B%"), "x\\y");
    EXPECT_EQ(Expand("%A%%B%"), "xy");
    EXPECT_EQ(Expand("pre%A%post"), "prexpost");
}

TEST_F(SearchOrder, UndefinedAndEmptyReferencesStay) {
    platform.environment["A"] = "x";
    platform.environment["EMPTY"] = "";
    EXPECT_EQ(Expand("%UNDEFINED%\\bin"), "%UNDEFINED%\\bin");
    EXPECT_EQ(Expand("%%"), "%%");
    EXPECT_EQ(Expand("x%"), "x%");
    EXPECT_EQ(Expand("%EMPTY%"), "%EMPTY%");  // an empty value reads as undefined
    // After an undefined name the scan goes on after its closing '%', so that
    // '%' is not taken as the opening of '%A%'.
    EXPECT_EQ(Expand("%UNDEF%A%"), "%UNDEF%A%");
    EXPECT_EQ(Expand("%%A%"), "%%A%");
    EXPECT_EQ(Expand("%UNDEF%%A%"), "%UNDEF%x");
}

TEST_F(SearchOrder, InsertedValueIsNotScannedAgain) {
    platform.environment["A"] = "%B%";
    platform.environment["B"] = "y";
    EXPECT_EQ(Expand("%A%"), "%B%");
    platform.environment["P"] = "50%";
    EXPECT_EQ(Expand("%P%B%"), "50%B%");
}

TEST_F(SearchOrder, UndefinedReferenceInPathIsAddedUnchanged) {
    platform.SetPathList("%UNDEFINED%\\bin;%%;x%");
    EXPECT_THAT(Build(""), ElementsAre("%UNDEFINED%\\bin\\", "%%\\", "x%\\"));
}

// A '%' that is the trail byte of a double-byte character is not a '%'.
TEST_F(SearchOrder, TrailBytePercentIsNotAReference) {
    platform.environment["A"] = "x";
    platform.leadBytes = {0x81};
    EXPECT_EQ(Expand("\x81%A%"), "\x81%A%");  // the next '%' opens, none closes
    EXPECT_EQ(Expand("\x81%%A%"), "\x81%x");  // the second '%' opens '%A%'
    // The '%' after the lead byte belongs to it: the name is 'A\x81%B', undefined.
    EXPECT_EQ(Expand("%A\x81%B%"), "%A\x81%B%");
    platform.leadBytes.clear();
    EXPECT_EQ(Expand("\x81%A%"), "\x81x");
}

TEST_F(SearchOrder, LeadByteAtTheEnd) {
    platform.leadBytes = {0x81};
    EXPECT_EQ(Expand("%A\x81"), "%A\x81");
}

}  // namespace
}  // namespace kivrel
