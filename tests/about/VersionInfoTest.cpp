#include "about/VersionInfo.h"
#include "about/Routines.h"
#include "platform/Modules.h"

#include "support/TempDir.h"
#include "support/VersionBytes.h"

#include <gtest/gtest.h>

#include <tuple>

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
        const std::string file = dir_.file("prog.exe");
        test::WriteFile(file, std::string(pe.begin(), pe.end()));
        VersionInfo v;
        v.setFileName(file);
        EXPECT_TRUE(v.errors().empty());
        return v;
    }

    test::TempDir dir_;
};

} // namespace

TEST_F(VersionInfoTest, TheFirstTranslationNamesTheStringTable)
{
    VersionInfo it = load({.language = 0x0410, .codePage = 0x04B0, .table = "041004B0"}, true);
    EXPECT_EQ(it.translation(), "041004B0");
    EXPECT_EQ(it.Language(), 1040);
    EXPECT_EQ(load({.codePage = 0xFDE9, .table = "0409FDE9"}).CodePage(), -535);
    EXPECT_EQ(load({.language = 0, .codePage = 0}).translation(), "040904E4");
    // Strings under another table than the first translation are not read.
    EXPECT_EQ(load({.table = "041004B0"}).CompanyName(), "");
}

TEST_F(VersionInfoTest, EachTextComesFromItsOwnKey)
{
    using Accessor = std::string (VersionInfo::*)() const;
    const std::vector<std::pair<std::string, Accessor>> accessors = {
        {"CompanyName", &VersionInfo::CompanyName},           {"FileDescription", &VersionInfo::FileDescription},
        {"FileVersion", &VersionInfo::FileVersion},           {"InternalName", &VersionInfo::InternalName},
        {"LegalCopyright", &VersionInfo::LegalCopyright},     {"OriginalFileName", &VersionInfo::OriginalFileName},
        {"ProductName", &VersionInfo::ProductName},           {"ProductVersion", &VersionInfo::ProductVersion},
        {"LegalTrademarks", &VersionInfo::LegalTrademarks},   {"LegalTrademarks1", &VersionInfo::LegalTrademarks1},
        {"LegalTrademarks2", &VersionInfo::LegalTrademarks2}, {"Comments", &VersionInfo::Comments},
        {"PrivateBuild", &VersionInfo::PrivateBuild},         {"SpecialBuild", &VersionInfo::SpecialBuild},
    };
    test::ResourceLayout each{.strings = {}};
    for (const auto& [key, accessor] : accessors)
        each.strings.emplace_back(key, "text of " + key);
    const VersionInfo v = load(each);
    for (const auto& [key, accessor] : accessors)
        EXPECT_EQ((v.*accessor)(), "text of " + key);
}

TEST_F(VersionInfoTest, FileFlagsAreMaskedThenNamed)
{
    const VersionInfo masked = load({.flagsMask = 0x0F, .flags = 0x3F});
    EXPECT_EQ(masked.FileFlagsRaw(), 0x0Fu);
    EXPECT_EQ(masked.FileFlags(), "Debug Patched Pre-release Private ");
}

TEST_F(VersionInfoTest, TheSystemsTwoHalvesAreNamedApartEachWithItsFallback)
{
    EXPECT_EQ(load({.os = 0x40004}).FileOS(), "Win32 API on Windows NT");
    EXPECT_EQ(load({.os = 0x50005}).FileOS(), "Unknown API");
}

TEST_F(VersionInfoTest, ASubtypeCountsOnlyForDriversFontsAndVirtualDevices)
{
    for (const auto& [type, sub, typeText, subText] : {std::tuple{2u, 3u, "DLL", "Unknown"},
                                                       {3u, 1u, "Driver", "Printer"},
                                                       {3u, 12u, "Driver", "Unknown"},
                                                       {5u, 39u, "VXD", "39"}}) {
        const VersionInfo v = load({.type = type, .subtype = sub});
        EXPECT_EQ(v.FileType(), typeText) << type;
        EXPECT_EQ(v.FileSubType(), subText) << type << "/" << sub;
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

    v.setFileName("");
    EXPECT_EQ(Numbers(v), (std::vector<long>{kEmptyName, kNoSize, kNoData, kNoTranslation, kNoFixed}));
}

TEST(VersionInfo, ReadsTheEmbeddedResourceOfThisProgram)
{
    VersionInfo notLoaded; // an unknown module falls back to the program's own file
    notLoaded.setModuleName("NoSuchModule.dll");
    EXPECT_EQ(notLoaded.FileName(), platform::GetModuleFileName(0));
    EXPECT_EQ(Numbers(notLoaded), std::vector<long>{kNoHandle});
    VersionInfo v;
    v.setFileName(platform::GetModuleFileName(0));
    ASSERT_TRUE(v.errors().empty());
    EXPECT_EQ(v.ProductName(), "Quadrantel");
    EXPECT_EQ(v.OriginalFileName(), "about_VersionInfoTest");
    EXPECT_EQ(v.fixedInfo().fileVersionMS,
              uint32_t{QUADRANTEL_VERSION_MAJOR} << 16 | uint32_t{QUADRANTEL_VERSION_MINOR});
    EXPECT_EQ(v.fixedInfo().fileVersionLS >> 16, uint32_t{QUADRANTEL_VERSION_PATCH});
}

TEST_F(VersionInfoTest, AFileNameGivenAfterAModuleNameReadsTheFile)
{
    VersionInfo v;
    v.setModuleName("NoSuchModule.dll");
    v.setFileName(dir_.file("missing.exe"));
    EXPECT_EQ(v.FileName(), dir_.file("missing.exe"));
}
