#include "platform/VersionResource.h"
#include "platform/Modules.h"

#include "support/TempDir.h"
#include "support/VersionBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace quadrantel;
using test::Bytes;

namespace {

Bytes Find(const Bytes& file)
{
    return platform::FindVersionResource(platform::SpanSource(file));
}

std::string Query(const Bytes& data, const std::string& path)
{
    std::string value;
    return platform::VerQueryValue(data, path, value) ? value : std::string("<none>");
}

// Hostile files: every truncation gives nothing, and every byte set to 0, 0x80 or 0xFF gives
// nothing or bytes of the file, never bytes from elsewhere.
void ExpectResourceOrNothing(const Bytes& file)
{
    for (std::size_t i = 0; i < file.size(); ++i) {
        EXPECT_TRUE(Find(Bytes(file.data(), file.data() + i)).empty()) << "cut at " << i;
        for (uint8_t v : {0x00, 0x80, 0xFF}) {
            Bytes b = file;
            b[i] = v;
            const Bytes got = Find(b);
            EXPECT_TRUE(got.empty() || std::search(b.begin(), b.end(), got.begin(), got.end()) != b.end())
                << i << " = " << int{v};
        }
    }
}

const Bytes& Resource()
{
    static const Bytes resource = test::VersionResource({});
    return resource;
}

} // namespace

TEST(VerQueryValue, FindsRootTranslationAndTextsInLatin1)
{
    const std::string root = Query(Resource(), "\\");
    ASSERT_EQ(root.size(), 52u);
    EXPECT_EQ(root.substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
    EXPECT_EQ(Query(Resource(), "\\VarFileInfo\\Translation"), std::string("\x09\x04\xE4\x04", 4));
    EXPECT_EQ(Query(Resource(), "\\stringfileinfo\\040904e4\\COMPANYNAME"), std::string("Example Co") + '\0');
    EXPECT_EQ(Query(Resource(), "\\StringFileInfo\\040904E4\\Comments"), "<none>");

    // Text is converted to Windows Latin-1; what it lacks (a C1 control, a CJK letter) is '?'.
    test::VersionNode text{"Comments", 1, {}, 6, {}};
    for (uint16_t c : {0x41, 0xE9, 0x20AC, 0x85, 0x4E2D, 0})
        test::Put(text.value, c);
    const test::VersionNode latin{
        "VS_VERSION_INFO", 0, {}, 0, {{"StringFileInfo", 1, {}, 0, {{"040904E4", 1, {}, 0, {text}}}}}};
    EXPECT_EQ(Query(test::Encode(latin), "\\StringFileInfo\\040904E4\\Comments"), std::string("A\xE9\x80??") + '\0');
}

TEST(VerQueryValue, LyingOrCutBlocksGiveTheAnswerOrNothing)
{
    Bytes wrongRoot = Resource();
    wrongRoot[6] = 'X';
    EXPECT_EQ(Query(wrongRoot, "\\"), "<none>");
    Bytes lying = Resource(); // a value longer than its block ends with the block
    test::Set(lying, 2, 0xFFFF);
    EXPECT_EQ(Query(lying, "\\").size(), Resource().size() - 40);
    // A zero-length child must end the walk, not spin on it (the one asked for comes after it).
    Bytes zero = Resource();
    test::Set(zero, 40 + 52, 0);
    EXPECT_EQ(Query(zero, "\\VarFileInfo\\Translation"), "<none>");
    // A key running to the end of its block without a NUL.
    Bytes open = test::Encode({"VS_VERSION_INFO", 0, {}, 0, {}});
    open.insert(open.end(), {8, 0, 0, 0, 1, 0, 'X', 0});
    test::Set(open, 0, static_cast<uint16_t>(open.size()));
    EXPECT_EQ(Query(open, "\\X"), "<none>");

    for (const char* p : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\FileVersion"})
        for (std::size_t n = 0; n <= Resource().size() + 4; ++n) {
            Bytes b = n <= Resource().size() ? Bytes(Resource().data(), Resource().data() + n) : Resource();
            if (n > Resource().size()) // the root claims more than there is
                test::Set(b, 0, static_cast<uint16_t>(n));
            const std::string got = Query(b, p);
            EXPECT_TRUE(got == "<none>" || (n == Resource().size() && got == Query(Resource(), p))) << p << " at " << n;
        }
}

TEST(FindVersionResource, PeImagesElfSectionsAndFilesWithout)
{
    for (bool wide : {false, true}) {
        const Bytes pe = test::PeImage(Resource(), wide);
        EXPECT_EQ(Find(pe), Resource());
        ExpectResourceOrNothing(pe);
        for (std::size_t at : {0x210u, 0x217u}) { // another type; a data entry where a directory belongs
            Bytes b = pe;
            b[at] = 0;
            EXPECT_TRUE(Find(b).empty()) << at;
        }
    }
    test::TempDir dir;
    const Bytes pe = test::PeImage(Resource(), true);
    test::WriteFile(dir.file("prog.exe"), std::string(pe.begin(), pe.end()));
    EXPECT_EQ(platform::GetFileVersionInfoSize(dir.file("prog.exe") + '\0' + "   "), Resource().size());
    Bytes data;

    test::WriteFile(dir.file("text.txt"), "MZ but nothing more");
    for (const std::string& name :
         {std::string(), dir.path(), dir.file("missing.exe"), dir.file("text.txt"), std::string("/dev/zero")}) {
        EXPECT_EQ(platform::GetFileVersionInfoSize(name), 0u) << name;
        EXPECT_FALSE(platform::GetFileVersionInfo(name, 16, data));
    }

    for (bool wide : {false, true})
        for (bool big : {false, true}) {
            const Bytes elf = test::ElfFile(Resource(), ".quadrantel_version", wide, big);
            EXPECT_EQ(Find(elf), Resource()) << wide << big;
            EXPECT_TRUE(Find(test::ElfFile(Resource(), ".quadrantel_versions", wide, big)).empty());
            EXPECT_TRUE(Find(test::ElfFile(Resource(), ".quadrantel_versio", wide, big)).empty());
            ExpectResourceOrNothing(elf);
            Bytes noBits = elf; // a section without bytes in the file
            noBits[elf.size() - (wide ? 64 : 40) + 4 + (big ? 3 : 0)] = 8;
            EXPECT_TRUE(Find(noBits).empty());
        }
}

// The program's own file and an unknown module are read through VersionInfo.
TEST(Modules, LoadedLibraries)
{
    EXPECT_EQ(platform::GetModuleHandle(""), 0u);
    const platform::ModuleHandle qt = platform::GetModuleHandle("libQt6Core");
    ASSERT_NE(qt, 0u);
    const std::string qtFile = platform::GetModuleFileName(qt);
    EXPECT_TRUE(std::filesystem::is_regular_file(qtFile)) << qtFile;
    EXPECT_EQ(platform::GetModuleHandle(qtFile), qt);
    EXPECT_EQ(platform::GetModuleFileName(12345), "");
}
