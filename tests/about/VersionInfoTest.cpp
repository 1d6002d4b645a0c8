#include "about/VersionInfo.h"
#include "about/Routines.h"
#include "platform/Modules.h"

#include "support/TempDir.h"
#include "support/VersionBytes.h"

#include <gtest/gtest.h>

using namespace quadrantel;
using about::VersionInfo;

namespace {

enum : long { kNoHandle = -2127660987, kNoFileName, kEmptyName, kNoSize, kNoData, kNoTranslation, kNoFixed };

std::vector<long> Numbers(const VersionInfo& v)
{
    std::vector<long> n;
    for (const auto& e : v.errors()) {
        EXPECT_EQ(e.source(), "VersionInfo");
        n.push_back(e.number());
    }
    return n;
}

class VersionInfoTest : public testing::Test {
protected:
    // Loads a PE image holding the resource described by layout.
    VersionInfo load(const test::ResourceLayout& layout, bool wide = false)
    {
        const test::Bytes pe = test::PeImage(test::VersionResource(layout), wide);
        const std::string file = dir_.file("prog" + std::to_string(count_++) + ".exe");
        test::WriteFile(file, std::string(pe.begin(), pe.end()));
        VersionInfo v;
        v.setFileName(file);
        EXPECT_TRUE(v.errors().empty());
        return v;
    }

    test::TempDir dir_;
    int count_ = 0;
};

} // namespace

TEST_F(VersionInfoTest, TranslationAndTexts)
{
    VersionInfo it = load({.language = 0x0410, .codePage = 0x04B0, .table = "041004B0"}, true);
    EXPECT_EQ(it.translation(), "041004B0");
    EXPECT_EQ(it.Language(), 1040);
    EXPECT_EQ(it.CodePage(), 1200);
    EXPECT_EQ(it.CompanyName(), "Example Co");
    EXPECT_EQ(load({.codePage = 0xFDE9, .table = "0409FDE9"}).CodePage(), -535);
    EXPECT_EQ(load({.language = 0, .codePage = 0}).translation(), "040904E4");
    // Strings under another table than the first translation are not read.
    EXPECT_EQ(load({.table = "041004B0"}).CompanyName(), "");

    // Each text comes from its own key.
    const VersionInfo v = load({.strings = {{"CompanyName", "a"},
                                            {"FileDescription", "b"},
                                            {"FileVersion", "c"},
                                            {"InternalName", "d"},
                                            {"LegalCopyright", "e"},
                                            {"OriginalFileName", "f"},
                                            {"ProductName", "g"},
                                            {"ProductVersion", "h"},
                                            {"LegalTrademarks", "i"},
                                            {"LegalTrademarks1", "j"},
                                            {"LegalTrademarks2", "k"},
                                            {"Comments", "l"},
                                            {"PrivateBuild", "m"},
                                            {"SpecialBuild", "n"}}});
    EXPECT_EQ(v.CompanyName() + v.FileDescription() + v.FileVersion() + v.InternalName() + v.LegalCopyright() +
                  v.OriginalFileName() + v.ProductName() + v.ProductVersion() + v.LegalTrademarks() +
                  v.LegalTrademarks1() + v.LegalTrademarks2() + v.Comments() + v.PrivateBuild() + v.SpecialBuild(),
              "abcdefghijklmn");
}

TEST_F(VersionInfoTest, FixedPartTexts)
{
    const VersionInfo masked = load({.flagsMask = 0x0F, .flags = 0x3F});
    EXPECT_EQ(masked.FileFlagsRaw(), 0x0Fu);
    EXPECT_EQ(masked.FileFlags(), "Debug Patched Pre-release Private ");
    // The OS half and the API half are looked up apart, each with its fallback.
    EXPECT_EQ(load({.os = 0x40004}).FileOS(), "Win32 API on Windows NT");
    EXPECT_EQ(load({.os = 0x50005}).FileOS(), "Unknown API");
    struct Case {
        uint32_t type, subtype;
        std::string typeText, subText;
    };
    // A subtype counts only for drivers, fonts and virtual devices; unknown codes fall back.
    const std::vector<Case> cases = {
        {2, 3, "DLL", "Unknown"}, {3, 1, "Driver", "Printer"}, {3, 12, "Driver", "Unknown"}, {5, 39, "VXD", "39"}};
    for (const Case& c : cases) {
        const VersionInfo v = load({.type = c.type, .subtype = c.subtype});
        EXPECT_EQ(v.FileType(), c.typeText) << c.type;
        EXPECT_EQ(v.FileSubType(), c.subText) << c.type << "/" << c.subtype;
    }
}

TEST_F(VersionInfoTest, FailedStepsAreRecordedAndLeaveNothing)
{
    VersionInfo v = load({.flags = 1});
    v.setFileName(dir_.file("missing.exe"));
    EXPECT_EQ(Numbers(v), (std::vector<long>{kNoSize, kNoData, kNoTranslation, kNoFixed}));
    // Nothing of the earlier file survives.
    EXPECT_EQ(v.FileVersion(), "");
    EXPECT_EQ(v.FileFlagsRaw(), 0u);
    EXPECT_EQ(v.translation(), "040904E4");
    EXPECT_EQ(v.errors().back().description(), "Unable to retrieve fixed file version information.");

    v.setFileName("");
    EXPECT_EQ(Numbers(v), (std::vector<long>{kEmptyName, kNoSize, kNoData, kNoTranslation, kNoFixed}));
}

TEST_F(VersionInfoTest, ModulesAndTheProgramsOwnFile)
{
    VersionInfo notLoaded;
    notLoaded.setModuleName("NoSuchModule.dll");
    EXPECT_EQ(notLoaded.FileName(), platform::GetModuleFileName(0));
    EXPECT_EQ(Numbers(notLoaded), std::vector<long>{kNoHandle});
}

TEST_F(VersionInfoTest, ReadsTheEmbeddedResourceOfThisProgram)
{
    VersionInfo v;
    v.setFileName(platform::GetModuleFileName(0));
    ASSERT_TRUE(v.errors().empty());
    EXPECT_EQ(v.FileVersion(), QUADRANTEL_VERSION);
    EXPECT_EQ(v.ProductName(), "Quadrantel");
    EXPECT_EQ(v.OriginalFileName(), "about_VersionInfoTest");
    EXPECT_EQ(v.fixedInfo().fileVersionMS,
              uint32_t{QUADRANTEL_VERSION_MAJOR} << 16 | uint32_t{QUADRANTEL_VERSION_MINOR});
    EXPECT_EQ(v.fixedInfo().fileVersionLS >> 16, uint32_t{QUADRANTEL_VERSION_PATCH});
}
