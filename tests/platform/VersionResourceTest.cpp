#include "platform/VersionResource.h"
#include "platform/Modules.h"

#include "support/TempDir.h"
#include "support/VersionBytes.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quadrantel;
using platform::VerQueryValue;
using test::Bytes;

namespace {

Bytes Find(const Bytes& file)
{
    return platform::FindVersionResource(platform::SpanSource(file));
}

std::string Query(const Bytes& data, const std::string& path)
{
    std::string value;
    return VerQueryValue(data, path, value) ? value : std::string("<none>");
}

const std::string kCompany = std::string("Example Co") + '\0';

} // namespace

TEST(VerQueryValue, FindsRootTranslationAndTexts)
{
    const Bytes res = test::VersionResource({});
    const std::string root = Query(res, "\\");
    ASSERT_EQ(root.size(), 52u);
    EXPECT_EQ(root.substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
    EXPECT_EQ(Query(res, "\\VarFileInfo\\Translation"), std::string("\x09\x04\xE4\x04", 4));
    EXPECT_EQ(Query(res, "\\StringFileInfo\\040904E4\\CompanyName"), kCompany);
    EXPECT_EQ(Query(res, "\\stringfileinfo\\040904e4\\COMPANYNAME"), kCompany);
    EXPECT_EQ(Query(res, "\\StringFileInfo\\040904E4\\FileVersion"), std::string("2.3.4.5") + '\0');
    EXPECT_EQ(Query(res, "\\StringFileInfo\\040904E4\\Comments"), "<none>");
    EXPECT_EQ(Query(res, "\\StringFileInfo\\041004B0\\CompanyName"), "<none>");
    EXPECT_EQ(Query({}, "\\"), "<none>");
}

TEST(VerQueryValue, ConvertsTextToWindowsLatin1)
{
    test::VersionNode text{"Comments", 1, {}, 5, {}};
    for (uint16_t c : {0x41, 0xE9, 0x20AC, 0x4E2D, 0})
        test::PutWord(text.value, c);
    test::VersionNode root{
        "VS_VERSION_INFO", 0, {}, 0, {{"StringFileInfo", 1, {}, 0, {{"040904E4", 1, {}, 0, {text}}}}}};
    EXPECT_EQ(Query(test::Encode(root), "\\StringFileInfo\\040904E4\\Comments"), std::string("A\xE9\x80?") + '\0');
}

TEST(VerQueryValue, LyingBlocksAreNotFound)
{
    const Bytes good = test::VersionResource({});
    const std::string path = "\\StringFileInfo\\040904E4\\CompanyName";

    Bytes longer = good; // root claims more than there is
    test::SetWord(longer, 0, static_cast<uint16_t>(good.size() + 4));
    EXPECT_EQ(Query(longer, path), "<none>");

    Bytes wrongRoot = good;
    wrongRoot[6] = 'X';
    EXPECT_EQ(Query(wrongRoot, "\\"), "<none>");

    // A zero-length child must end the walk, not spin on it.
    const std::size_t stringInfo = 40 + 52; // header, key and padding, fixed part
    Bytes zero = good;
    test::SetWord(zero, stringInfo, 0);
    EXPECT_EQ(Query(zero, path), "<none>");

    // A key running to the end of its block without a NUL.
    Bytes open = {12, 0, 0, 0, 0, 0, 'V', 0, 'S', 0, '_', 0};
    EXPECT_EQ(Query(open, "\\"), "<none>");
}

TEST(VerQueryValue, EveryTruncationGivesTheAnswerOrNothing)
{
    const Bytes good = test::VersionResource({});
    for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\FileVersion"}) {
        const std::string full = Query(good, path);
        for (std::size_t n = 0; n < good.size(); ++n) {
            const std::string got = Query(Bytes(good.begin(), good.begin() + static_cast<long>(n)), path);
            EXPECT_TRUE(got == "<none>" || got == full) << path << " cut at " << n;
        }
    }
}

class PeImageTest : public testing::TestWithParam<bool> {};

TEST_P(PeImageTest, FindsTheVersionEntry)
{
    const Bytes res = test::VersionResource({});
    const Bytes pe = test::PeImage(res, GetParam());
    EXPECT_EQ(Find(pe), res);

    test::TempDir dir;
    const std::string file = dir.file("prog.exe");
    test::WriteFile(file, std::string(pe.begin(), pe.end()));
    const uint32_t size = platform::GetFileVersionInfoSize(file + '\0' + "   ");
    ASSERT_EQ(size, res.size());
    Bytes data;
    ASSERT_TRUE(platform::GetFileVersionInfo(file, size, data));
    EXPECT_EQ(data, res);
}

TEST_P(PeImageTest, LyingHeadersGiveNothing)
{
    using L = test::PeLayout;
    const bool wide = GetParam();
    const Bytes res = test::VersionResource({});
    const Bytes pe = test::PeImage(res, wide);
    const std::size_t sec = L::sectionTable(wide);
    auto with = [&](std::size_t at, uint32_t v) {
        Bytes b = pe;
        test::SetDword(b, at, v);
        return Find(b);
    };
    EXPECT_TRUE(with(0x3C, 0xFFFFFFF0).empty());                  // PE header past the end
    EXPECT_TRUE(with(L::kCoff + 16, 0x10).empty());               // directories outside the optional header
    EXPECT_TRUE(with(sec + 12, 0x8000).empty());                  // section does not cover the resources
    EXPECT_TRUE(with(sec + 20, 0xFFFFFF00).empty());              // raw data past the end
    EXPECT_TRUE(with(L::kLanguageEntry + 4, 0x80000000).empty()); // language level loops to the root
    EXPECT_TRUE(with(L::kTypeEntry + 4, 0x18).empty());           // data entry where a directory belongs
    EXPECT_TRUE(with(L::kDataEntry, 0x7FFFFFFF).empty());         // data outside every section
    auto with2 = [&](std::size_t at1, uint32_t v1, std::size_t at2, uint32_t v2) {
        Bytes b = pe;
        test::SetDword(b, at1, v1);
        test::SetDword(b, at2, v2);
        return Find(b);
    };
    // 65535 entries or sections claimed, the one there not the one looked for.
    EXPECT_TRUE(with2(L::kRsrc + 12, 0xFFFF0000, L::kTypeEntry, 3).empty());
    EXPECT_TRUE(with2(L::kCoff, 0xFFFF0000 | (wide ? 0x8664 : 0x14C), sec + 12, 0x8000).empty());
    EXPECT_TRUE(with(L::kDataEntry + 4, 0xFFFFFFFF).empty()); // data size past the end
}

TEST_P(PeImageTest, EveryTruncationGivesNothing)
{
    const Bytes pe = test::PeImage(test::VersionResource({}), GetParam());
    for (std::size_t n = 0; n < pe.size(); ++n)
        EXPECT_TRUE(Find(Bytes(pe.begin(), pe.begin() + static_cast<long>(n))).empty()) << n;
}

INSTANTIATE_TEST_SUITE_P(Widths, PeImageTest, testing::Bool(), [](const auto& p) { return p.param ? "PE64" : "PE32"; });

TEST(ElfSection, FoundInEveryClassAndByteOrder)
{
    const Bytes res = test::VersionResource({});
    for (bool wide : {false, true})
        for (bool big : {false, true}) {
            const Bytes elf = test::ElfFile(res, ".quadrantel_version", wide, big);
            EXPECT_EQ(Find(elf), res) << wide << big;
            EXPECT_TRUE(Find(test::ElfFile(res, ".quadrantel_versions", wide, big)).empty());
            EXPECT_TRUE(Find(test::ElfFile(res, ".quadrantel_versio", wide, big)).empty());
            for (std::size_t n = 0; n < elf.size(); ++n)
                EXPECT_TRUE(Find(Bytes(elf.begin(), elf.begin() + static_cast<long>(n))).empty()) << n;
        }
}

TEST(ElfSection, LyingHeadersGiveNothing)
{
    const Bytes res = test::VersionResource({});
    const Bytes elf = test::ElfFile(res, ".quadrantel_version", true, false);
    const uint64_t headers = elf.size() - 3 * 64;
    auto with = [&](std::size_t at, uint32_t v) {
        Bytes b = elf;
        test::SetDword(b, at, v);
        return Find(b);
    };
    EXPECT_TRUE(with(0x3C, 0xFFFF).empty());                        // 65535 sections in a small file
    EXPECT_TRUE(with(0x3C, 0).empty());                             // extended count of 0
    EXPECT_TRUE(with(0x3C, 0x00050003).empty());                    // name table index past the count
    EXPECT_TRUE(with(headers + 2 * 64 + 4, 8).empty());             // section without bytes in the file
    EXPECT_TRUE(with(headers + 2 * 64, 0xFFFFFFF0).empty());        // name outside the name table
    EXPECT_TRUE(with(headers + 2 * 64 + 0x18, 0xFFFFFF00).empty()); // data past the end
    EXPECT_TRUE(with(0x28, 0xFFFFFFF0).empty());                    // header table past the end
}

TEST(FileVersionInfo, FilesWithoutAResourceGiveZero)
{
    test::TempDir dir;
    test::WriteFile(dir.file("text.txt"), "MZ but nothing more");
    Bytes data{1, 2, 3};
    for (const std::string& name :
         {std::string(), dir.path(), dir.file("missing.exe"), dir.file("text.txt"), std::string("/dev/zero")}) {
        EXPECT_EQ(platform::GetFileVersionInfoSize(name), 0u) << name;
        EXPECT_FALSE(platform::GetFileVersionInfo(name, 16, data));
    }
}

TEST(Modules, ProgramAndLoadedLibraries)
{
    EXPECT_EQ(platform::GetModuleHandle("no-such-module.so"), 0u);
    EXPECT_EQ(platform::GetModuleHandle(""), 0u);
    const std::string self = platform::GetModuleFileName(0);
    EXPECT_TRUE(std::filesystem::is_regular_file(self)) << self;
    EXPECT_EQ(platform::GetModuleFileName(platform::GetModuleHandle(std::filesystem::path(self).filename())), self);

    const platform::ModuleHandle qt = platform::GetModuleHandle("libQt6Core.so");
    ASSERT_NE(qt, 0u);
    EXPECT_EQ(platform::GetModuleHandle("libQt6Core"), qt);
    const std::string qtFile = platform::GetModuleFileName(qt);
    EXPECT_TRUE(std::filesystem::is_regular_file(qtFile)) << qtFile;
    EXPECT_EQ(platform::GetModuleHandle(qtFile), qt);
    EXPECT_EQ(platform::GetModuleFileName(12345), "");
}
