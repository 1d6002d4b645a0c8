#pragma once

// Version resources, PE images and ELF files assembled byte by byte for the reader's tests.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace quadrantel::test {

using Bytes = std::vector<uint8_t>;

// n bytes of v, little-endian unless told otherwise, at an offset or appended.
inline void Set(Bytes& b, std::size_t at, uint64_t v, std::size_t n = 2, bool bigEndian = false)
{
    for (std::size_t i = 0; i < n; ++i)
        b[at + (bigEndian ? n - 1 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
}

inline void Put(Bytes& b, uint32_t v, std::size_t n = 2)
{
    b.resize(b.size() + n);
    Set(b, b.size() - n, v, n);
}

// A version block: wLength, wValueLength, wType, UTF-16 key, padding, value, children.
struct VersionNode {
    std::string key;
    uint16_t type = 1;
    Bytes value;
    uint16_t valueLength = 0;
    std::vector<VersionNode> children;
};

inline Bytes Encode(const VersionNode& n)
{
    Bytes b;
    Put(b, 0);
    Put(b, n.valueLength);
    Put(b, n.type);
    for (unsigned char c : n.key)
        Put(b, c);
    Put(b, 0);
    b.resize((b.size() + 3) & ~std::size_t{3});
    b.insert(b.end(), n.value.begin(), n.value.end());
    for (const VersionNode& c : n.children) {
        b.resize((b.size() + 3) & ~std::size_t{3});
        const Bytes child = Encode(c);
        b.insert(b.end(), child.begin(), child.end());
    }
    Set(b, 0, static_cast<uint16_t>(b.size()));
    return b;
}

struct ResourceLayout {
    uint16_t language = 0x0409, codePage = 0x04E4;
    std::string table = "040904E4"; // key of the string table
    uint32_t flagsMask = 0x3F, flags = 0, os = 0x40004, type = 1, subtype = 0;
    std::vector<std::pair<std::string, std::string>> strings = {{"CompanyName", "Example Co"},
                                                                {"FileVersion", "2.3.4.5"}};
};

inline Bytes VersionResource(const ResourceLayout& s)
{
    Bytes fixed;
    // Signature, structure version, file and product version 2.3.4.5, flags, OS, type, date.
    for (uint32_t v : {0xFEEF04BDu, 0x10000u, 0x00020003u, 0x00040005u, 0x00020003u, 0x00040005u, s.flagsMask, s.flags,
                       s.os, s.type, s.subtype, 0u, 0u})
        Put(fixed, v, 4);
    VersionNode table{s.table, 1, {}, 0, {}};
    for (const auto& [k, v] : s.strings) {
        Bytes text;
        for (unsigned char c : v + '\0')
            Put(text, c);
        table.children.push_back({k, 1, text, static_cast<uint16_t>(v.size() + 1), {}});
    }
    Bytes translation;
    Put(translation, s.language);
    Put(translation, s.codePage);
    const VersionNode var{"VarFileInfo", 1, {}, 0, {{"Translation", 0, translation, 4, {}}}};
    const VersionNode root{"VS_VERSION_INFO", 0, fixed, 52, {{"StringFileInfo", 1, {}, 0, {table}}, var}};
    return Encode(root);
}

// A PE image (32-bit, or 64-bit when wide) with one .rsrc section holding the resource as
// its only RT_VERSION entry.
inline Bytes PeImage(const Bytes& resource, bool wide)
{
    constexpr uint32_t kRsrc = 0x200; // file offset of the section, RVA 0x1000
    const std::size_t opt = 0x58, dirs = opt + (wide ? 112 : 96), sec = opt + (wide ? 240 : 224);
    const auto size = static_cast<uint32_t>(resource.size()), rsrcSize = 0x58 + size;
    Bytes pe(kRsrc + 0x58);
    const uint32_t machine = wide ? 0x8664 : 0x14C, optSize = wide ? 240 : 224, magic = wide ? 0x20B : 0x10B;
    // Offset and value, four bytes little-endian.
    const std::pair<std::size_t, uint32_t> fields[] = {
        {0, 0x5A4D},                // "MZ"
        {0x3C, 0x40},               // offset of the PE header
        {0x40, 0x4550},             // "PE\0\0"
        {0x44, machine},            // x86 or x86-64
        {0x46, 1},                  // one section
        {0x54, optSize},            // size of the optional header
        {opt, magic},               // PE32 or PE32+
        {opt + optSize - 132, 16},  // number of data directories
        {dirs + 16, 0x1000},        // the resource directory's RVA
        {dirs + 20, rsrcSize},      // ... and size
        {sec, 0x7273722E},          // section name ".rsrc"
        {sec + 4, 'c'},             // ... its last letter
        {sec + 8, rsrcSize},        // virtual size
        {sec + 12, 0x1000},         // RVA
        {sec + 16, rsrcSize},       // size of raw data
        {sec + 20, kRsrc},          // file offset of raw data
        {kRsrc + 14, 1},            // type level: one id entry,
        {kRsrc + 0x10, 16},         // RT_VERSION,
        {kRsrc + 0x14, 0x80000018}, // its subdirectory
        {kRsrc + 0x26, 1},          // name level: one id entry,
        {kRsrc + 0x28, 1},          // name 1,
        {kRsrc + 0x2C, 0x80000030}, // its subdirectory
        {kRsrc + 0x3E, 1},          // language level: one id entry,
        {kRsrc + 0x40, 0x409},      // US English,
        {kRsrc + 0x44, 0x48},       // its data entry
        {kRsrc + 0x48, 0x1058},     // the resource's RVA
        {kRsrc + 0x4C, size},       // ... and size
    };
    for (const auto& [at, value] : fields)
        Set(pe, at, value, 4);
    pe.insert(pe.end(), resource.begin(), resource.end());
    return pe;
}

// An ELF file (64-bit or 32-bit, little- or big-endian) with the sections: none, the
// section-name table and the named section holding the bytes. Headers follow the data.
inline Bytes ElfFile(const Bytes& content, const std::string& sectionName, bool wide, bool bigEndian)
{
    Bytes f(wide ? 64 : 52);
    auto put = [&](std::size_t at, uint64_t v, std::size_t n) { Set(f, at, v, n, bigEndian); };
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(wide ? 2 : 1), uint8_t(bigEndian ? 2 : 1), 1};
    std::copy(std::begin(ident), std::end(ident), f.begin());
    const std::size_t data = f.size();
    f.insert(f.end(), content.begin(), content.end());
    const std::size_t names = f.size();
    const std::string table = std::string("\0.shstrtab\0", 11) + sectionName + '\0';
    f.insert(f.end(), table.begin(), table.end());
    f.resize((f.size() + 7) & ~std::size_t{7});
    const std::size_t headers = f.size();
    const std::size_t entry = wide ? 64 : 40;
    f.resize(headers + 3 * entry);
    auto section = [&](std::size_t i, uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        const std::size_t h = headers + i * entry;
        put(h, name, 4);
        put(h + 4, type, 4);
        put(h + (wide ? 0x18 : 0x10), offset, wide ? 8 : 4);
        put(h + (wide ? 0x20 : 0x14), size, wide ? 8 : 4);
    };
    section(1, 1, 3, names, table.size());
    section(2, 11, 1, data, content.size());
    put(wide ? 0x28 : 0x20, headers, wide ? 8 : 4);
    put(wide ? 0x3A : 0x2E, entry, 2);
    put(wide ? 0x3C : 0x30, 3, 2);
    put(wide ? 0x3E : 0x32, 1, 2);
    return f;
}

} // namespace quadrantel::test
