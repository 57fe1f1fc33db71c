// The loader options: delay-load descriptors of both layouts, API set names
// through the system's schema, machine-type matching and the module's own
// folder. Each scan runs over real directories; the report is compared whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_set_writer.h"
#include "core_helpers.h"
#include "fake_platform.h"
#include "mapped_image.h"
#include "messages.h"
#include "pe_writer.h"
#include "reference_scanner.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using test::PeBuilder;
using test::PeLayout;
using testing::ElementsAre;
using testing::ElementsAreArray;
using Texts = std::vector<std::string>;

class LoaderObserver : public IScanObserver {
public:
    void OnApiSetSchemaMissing(const std::string& path, const std::string& reason) override {
        missing.push_back(path + ": " + reason);
    }
    void OnCandidatePassedOver(const std::string& path, const std::string&) override {
        passedOver.push_back(path);
    }
    std::vector<std::string> missing, passedOver;
};

class LoaderOptionsTest : public testing::Test {
protected:
    LoaderOptionsTest() {
        platform.systemDirectory = temp.MakeDir("sys");
        platform.maxFindCalls = 10000;
    }
    std::string Sys(const std::string& name) { return temp.Dir("sys") + name; }
    void PutSchema(const std::vector<test::ApiSetEntrySpec>& entries) {
        temp.Write("sys/ApiSetSchema.dll",
                   test::BuildApiSetSchemaDll(test::BuildApiSetSection(6, entries)));
    }
    // The report of a scan of `module` with `options`.
    Texts Scan(const std::string& module, const LoaderOptions& options) {
        CReferenceScanner scanner(platform, &observer);
        scanner.SetLoaderOptions(options);
        CReportLines sink;
        scanner.Scan(module, "", true, sink);
        delayLoadOnly.clear();
        for (const Reference& r : scanner.References().Entries()) {
            if (r.delayLoadOnly) delayLoadOnly.push_back(r.text);
        }
        return sink.Texts();
    }

    test::TempDir temp;
    test::FakePlatform platform;
    LoaderObserver observer;
    std::vector<std::string> delayLoadOnly;
};

// Options with just `flag` on.
LoaderOptions With(bool LoaderOptions::*flag) {
    LoaderOptions options;
    options.*flag = true;
    return options;
}

// Names with a host report under their own heading; the host is resolved like
// an import; a name without a host stays unresolved; one the schema does not
// know is looked up as a file; a host that is an API set resolves in turn,
// cycles included.
TEST_F(LoaderOptionsTest, ApiSetNamesMapToTheirHosts) {
    PutSchema({{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}},
               {"api-ms-win-gone-l1-1-0", {}},
               {"ext-ms-win-loop-a-l1-1-0", {"ext-ms-win-loop-b-l1-1-0.dll"}},
               {"ext-ms-win-loop-b-l1-1-0", {"ext-ms-win-loop-a-l1-1-0.dll"}}});
    temp.Write("sys/kernelbase.dll", PeBuilder().Dll().Import("ntdll.dll").Build());
    temp.Write("sys/ntdll.dll", PeBuilder().Dll().Build());
    temp.Write("app/api-ms-win-shipped-l1-1-0.dll", PeBuilder().Dll().Build());
    const std::string module =
        temp.Write("app/tool.exe", PeBuilder()
                                       .Import("API-MS-WIN-CORE-SYNCH-L1-2-0.dll")
                                       .Import("api-ms-win-gone-l1-1-0.dll")
                                       .Import("api-ms-win-unknown-l1-1-0.dll")
                                       .Import("ext-ms-win-loop-a-l1-1-0.dll")
                                       .Import("api-ms-win-shipped-l1-1-0.dll")
                                       .Build());
    EXPECT_THAT(Scan(module, With(&LoaderOptions::apiSets)),
                ElementsAre(temp.Dir("app") + "api-ms-win-shipped-l1-1-0.dll",
                            Sys("kernelbase.dll"), Sys("ntdll.dll"), "", kApiSetsHeading, "",
                            "API-MS-WIN-CORE-SYNCH-L1-2-0.dll => kernelbase.dll",
                            "ext-ms-win-loop-a-l1-1-0.dll => ext-ms-win-loop-b-l1-1-0.dll",
                            "ext-ms-win-loop-b-l1-1-0.dll => ext-ms-win-loop-a-l1-1-0.dll", "",
                            MessageText(IDS_NOT_FOUND_HEADING), "", "api-ms-win-gone-l1-1-0.dll",
                            "api-ms-win-unknown-l1-1-0.dll"));
    EXPECT_TRUE(observer.missing.empty());
}

// Without a readable schema the scan says so once and resolves as if the
// option were off: API set names are looked up as files.
TEST_F(LoaderOptionsTest, WithoutASchemaApiSetNamesAreFiles) {
    temp.Write("sys/api-ms-win-core-synch-l1-2-0.dll", PeBuilder().Dll().Build());
    const std::string module =
        temp.Write("app/tool.exe", PeBuilder()
                                       .Import("api-ms-win-core-synch-l1-2-0.dll")
                                       .Import("api-ms-win-x-l1-1-0.dll")
                                       .Build());
    const Texts plain = Scan(module, LoaderOptions());
    EXPECT_THAT(plain,
                ElementsAre(Sys("api-ms-win-core-synch-l1-2-0.dll"), "",
                            MessageText(IDS_NOT_FOUND_HEADING), "", "api-ms-win-x-l1-1-0.dll"));

    test::ApiSetLayout layout;
    std::vector<uint8_t> damaged = test::BuildApiSetSection(
        6, {{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}}}, &layout);
    test::PutU32(damaged, layout.countField, 0x7FFFFFFF);
    const std::vector<std::vector<uint8_t>> schemas = {
        {},                                   // no file
        {'n', 'o', 't', ' ', 'P', 'E'},       // not a PE image
        PeBuilder().Dll().Build(),            // no .apiset section
        test::BuildApiSetSchemaDll(damaged),  // counts past the section
    };
    for (size_t i = 0; i < schemas.size(); ++i) {
        if (i > 0) temp.Write("sys/apisetschema.dll", schemas[i]);
        observer.missing.clear();
        EXPECT_EQ(Scan(module, With(&LoaderOptions::apiSets)), plain) << "schema " << i;
        EXPECT_EQ(observer.missing.size(), 1u) << "schema " << i;
    }
}

// Delay-loaded names of both descriptor layouts are resolved like imports; one
// imported only through delay-loading that stays unresolved has its own group.
TEST_F(LoaderOptionsTest, DelayLoadNamesOfBothLayouts) {
    temp.Write("sys/a.dll", PeBuilder().Dll().Import("c.dll").Build());
    temp.Write("sys/rva.dll", PeBuilder().Dll().Build());
    temp.Write("sys/va.dll", PeBuilder().Dll().Build());
    const std::string module = temp.Write("app/tool.exe", PeBuilder()
                                                              .Import("a.dll")
                                                              .DelayImport("rva.dll")
                                                              .DelayImport("va.dll", false)
                                                              .DelayImport("b.dll")
                                                              .DelayImport("c.dll")
                                                              .Build());
    const std::string heading = MessageText(IDS_NOT_FOUND_HEADING);
    EXPECT_THAT(Scan(module, LoaderOptions()), ElementsAre(Sys("a.dll"), "", heading, "", "c.dll"));
    EXPECT_THAT(Scan(module, With(&LoaderOptions::delayLoad)),
                ElementsAre(Sys("a.dll"), Sys("rva.dll"), Sys("va.dll"), "", heading, "", "c.dll",
                            "", kDelayLoadOnlyHeading, "", "b.dll"));
    EXPECT_THAT(delayLoadOnly, ElementsAre("rva.dll", "va.dll", "b.dll"));
}

// The descriptor walk itself: which names each image gives, and the error id.
TEST_F(LoaderOptionsTest, DelayLoadWalk) {
    PeLayout layout;
    PeBuilder().Import("k.dll").DelayImport("a.dll").DelayImport("b.dll").Build(&layout);
    auto secondNameOutside = [&] {
        auto bytes = PeBuilder().Import("k.dll").DelayImport("a.dll").DelayImport("b.dll").Build();
        test::PutU32(bytes, layout.delayDescriptorOffsets[1] + 4, 0x7FFF0000);
        return bytes;
    };
    // clang-format off
    const struct {
        const char* what;
        std::vector<uint8_t> image;
        Texts names;
        int error;
    } cases[] = {
        {"both tables", PeBuilder().Import("k.dll").DelayImport("a.dll").DelayImport("b.dll").Build(), {"k.dll", "a.dll", "b.dll"}, 0},
        {"only delay-loads", PeBuilder().DelayImport("a.dll").Build(), {"a.dll"}, 0},
        // A 32-bit virtual address lies below any PE32+ image base.
        {"older layout in PE32+", PeBuilder().Pe32Plus().DelayImport("a.dll", false).Build(), {}, IDS_NO_REFERENCES},
        {"directory in no section", PeBuilder().Import("k.dll").DelayImport("a.dll").DataDirectory(13, 0x7FFF0000, 64).Build(), {"k.dll"}, 0},
        {"directory size 0", PeBuilder().DelayImport("a.dll").DataDirectory(13, 0x2000, 0).Build(), {}, IDS_NO_REFERENCES},
        {"second name outside the file", secondNameOutside(), {"k.dll", "a.dll"}, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        CReferenceScanner scanner(platform);
        scanner.SetLoaderOptions(With(&LoaderOptions::delayLoad));
        const CMappedImage image(c.image.data(), static_cast<uint32_t>(c.image.size()));
        int error = -1;
        EXPECT_EQ(scanner.ScanImage(image, &error), 1) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        Texts names;
        for (const Reference& r : scanner.References().Entries()) names.push_back(r.text);
        EXPECT_EQ(names, c.names) << c.what;
    }
}

// A module of another machine type found first is passed over and the search
// goes on; its imports are never read. When all are of the wrong machine the
// name ends incorrect and the observer hears why.
TEST_F(LoaderOptionsTest, MachineMatching) {
    const std::string d0 = temp.MakeDir("d0"), d1 = temp.MakeDir("d1");
    platform.SetPathList(d0 + ";" + d1);
    temp.Write("d0/x.dll", PeBuilder().Pe32Plus().Dll().Import("only64.dll").Build());
    temp.Write("d1/x.dll", PeBuilder().Dll().Build());
    temp.Write("d0/y.dll", PeBuilder().Pe32Plus().Dll().Build());
    const std::string module =
        temp.Write("app/tool.exe", PeBuilder().Import("x.dll").Import("y.dll").Build());
    const std::string heading = MessageText(IDS_NOT_FOUND_HEADING);
    EXPECT_THAT(Scan(module, LoaderOptions()),
                ElementsAre(d0 + "x.dll", d0 + "y.dll", "", heading, "", "only64.dll"));
    EXPECT_TRUE(observer.passedOver.empty());

    EXPECT_THAT(Scan(module, With(&LoaderOptions::matchMachine)),
                ElementsAre(d1 + "x.dll", "", heading, "", "y.dll"));
    EXPECT_THAT(observer.passedOver, ElementsAre(d0 + "x.dll", d0 + "y.dll"));
}

// A plug-in DLL finds its siblings only with the module's own folder searched.
TEST_F(LoaderOptionsTest, PluginSiblings) {
    temp.Write("plugins/helper.dll", PeBuilder().Dll().Build());
    const std::string plugin =
        temp.Write("plugins/plugin.dll", PeBuilder().Dll().Import("helper.dll").Build());
    const std::string heading = MessageText(IDS_NOT_FOUND_HEADING);
    EXPECT_THAT(Scan(plugin, LoaderOptions()), ElementsAre("", heading, "", "helper.dll"));
    EXPECT_THAT(Scan(plugin, With(&LoaderOptions::moduleDir)),
                ElementsAre(temp.Dir("plugins") + "helper.dll"));
}

}  // namespace
}  // namespace kivrel
