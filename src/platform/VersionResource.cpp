#include "platform/VersionResource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>

namespace quadrantel::platform {
namespace {

// A version block's own 16-bit length bounds the whole resource.
constexpr uint64_t kMaxResource = 0xFFFF;

bool Fits(uint64_t offset, uint64_t count, uint64_t size)
{
    return offset <= size && count <= size - offset;
}

// Little- or big-endian numbers read through a source; any failure leaves ok false for good,
// so a chain of reads needs one check at its end.
class Reader {
public:
    Reader(const ByteSource& source, bool bigEndian = false) : source_(source), big_(bigEndian) {}

    bool ok() const { return ok_; }
    uint64_t size() const { return source_.size(); }

    uint64_t get(uint64_t offset, int bytes)
    {
        std::array<uint8_t, 8> b{};
        if (!ok_ || !source_.read(offset, b.data(), static_cast<std::size_t>(bytes))) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<uint64_t>(b[static_cast<std::size_t>(big_ ? bytes - 1 - i : i)]) << (8 * i);
        return v;
    }
    uint16_t u16(uint64_t offset) { return static_cast<uint16_t>(get(offset, 2)); }
    uint32_t u32(uint64_t offset) { return static_cast<uint32_t>(get(offset, 4)); }
    uint64_t u64(uint64_t offset) { return get(offset, 8); }

    std::vector<uint8_t> bytes(uint64_t offset, uint64_t count)
    {
        if (!ok_ || count > kMaxResource)
            return {};
        std::vector<uint8_t> out(static_cast<std::size_t>(count));
        if (!source_.read(offset, out.data(), out.size()))
            return {};
        return out;
    }

private:
    const ByteSource& source_;
    bool big_;
    bool ok_ = true;
};

// ---- PE images -------------------------------------------------------------------------

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kHighBit = 0x80000000;

class PeImage {
public:
    explicit PeImage(const ByteSource& file) : r_(file) {}

    std::vector<uint8_t> versionResource()
    {
        const uint32_t peOffset = r_.u32(0x3C);
        if (!r_.ok() || r_.u32(peOffset) != 0x00004550 || !r_.ok())
            return {};
        const uint64_t coff = uint64_t{peOffset} + 4;
        sectionCount_ = r_.u16(coff + 2);
        const uint16_t optionalSize = r_.u16(coff + 16);
        const uint64_t optional = coff + 20;
        const uint16_t magic = r_.u16(optional);
        if (!r_.ok())
            return {};
        uint64_t countField = 0, directories = 0;
        if (magic == 0x10B) {
            countField = 92;
            directories = 96;
        } else if (magic == 0x20B) {
            countField = 108;
            directories = 112;
        } else {
            return {};
        }
        // The resource directory is the third entry and must lie inside the optional header.
        if (r_.u32(optional + countField) < 3 || directories + std::size_t{3} * 8 > optionalSize)
            return {};
        rsrc_ = r_.u32(optional + directories + 16);
        sectionTable_ = optional + optionalSize;
        if (!r_.ok() || rsrc_ == 0)
            return {};

        const auto names = entry(0, kRtVersion, true);
        const auto languages = names ? entry(*names, std::nullopt, true) : std::nullopt;
        const auto dataEntry = languages ? entry(*languages, std::nullopt, false) : std::nullopt;
        if (!dataEntry)
            return {};
        const auto at = offsetOf(uint64_t{rsrc_} + *dataEntry);
        if (!at)
            return {};
        const uint32_t dataRva = r_.u32(*at);
        const uint32_t dataSize = r_.u32(*at + 4);
        const auto data = r_.ok() ? offsetOf(dataRva) : std::nullopt;
        if (!data)
            return {};
        return r_.bytes(*data, std::min<uint64_t>(dataSize, kMaxResource));
    }

private:
    // File offset of an address in the image: it must fall in a section's raw data.
    std::optional<uint64_t> offsetOf(uint64_t rva)
    {
        for (uint32_t i = 0; i < sectionCount_; ++i) {
            const uint64_t header = sectionTable_ + uint64_t{i} * 40;
            const uint32_t address = r_.u32(header + 12);
            const uint32_t rawSize = r_.u32(header + 16);
            const uint32_t rawPointer = r_.u32(header + 20);
            if (!r_.ok())
                return std::nullopt;
            if (rva >= address && rva - address < rawSize)
                return uint64_t{rawPointer} + (rva - address);
        }
        return std::nullopt;
    }

    // The target of a directory's entry: the one with the given id, or the first one;
    // it must be a subdirectory or a data entry as asked. Depth is fixed, so a directory
    // that points back at itself cannot make the walk loop.
    std::optional<uint32_t> entry(uint32_t directory, std::optional<uint32_t> id, bool wantDirectory)
    {
        const auto at = offsetOf(uint64_t{rsrc_} + directory);
        if (!at)
            return std::nullopt;
        const uint32_t count = uint32_t{r_.u16(*at + 12)} + r_.u16(*at + 14);
        for (uint32_t i = 0; i < count && r_.ok(); ++i) {
            const uint64_t e = *at + 16 + uint64_t{i} * 8;
            const uint32_t name = r_.u32(e);
            const uint32_t target = r_.u32(e + 4);
            if (!r_.ok() || (id && name != *id))
                continue;
            if (((target & kHighBit) != 0) != wantDirectory)
                return std::nullopt;
            return target & ~kHighBit;
        }
        return std::nullopt;
    }

    Reader r_;
    uint32_t sectionCount_ = 0;
    uint64_t sectionTable_ = 0;
    uint32_t rsrc_ = 0;
};

// ---- ELF files -------------------------------------------------------------------------

std::vector<uint8_t> ElfVersionSection(const ByteSource& file)
{
    std::array<uint8_t, 16> ident{};
    if (!file.read(0, ident.data(), ident.size()))
        return {};
    const bool wide = ident[4] == 2;
    if ((ident[4] != 1 && !wide) || (ident[5] != 1 && ident[5] != 2))
        return {};
    Reader r(file, ident[5] == 2);

    const uint64_t tableOffset = wide ? r.u64(0x28) : r.u32(0x20);
    const uint16_t entrySize = r.u16(wide ? 0x3A : 0x2E);
    uint64_t count = r.u16(wide ? 0x3C : 0x30);
    uint32_t names = r.u16(wide ? 0x3E : 0x32);
    if (!r.ok() || tableOffset == 0 || entrySize < (wide ? 64 : 40) || tableOffset > r.size())
        return {};

    struct Section {
        uint32_t name, type;
        uint64_t offset, size;
        uint32_t link;
    };
    auto section = [&](uint64_t i) {
        const uint64_t h = tableOffset + i * entrySize;
        if (wide)
            return Section{r.u32(h), r.u32(h + 4), r.u64(h + 0x18), r.u64(h + 0x20), r.u32(h + 0x28)};
        return Section{r.u32(h), r.u32(h + 4), r.u32(h + 0x10), r.u32(h + 0x14), r.u32(h + 0x18)};
    };
    // Large section counts and name-table indexes live in the first section header.
    if (count == 0 || names == 0xFFFF) {
        const Section first = section(0);
        if (count == 0)
            count = first.size;
        if (names == 0xFFFF)
            names = first.link;
    }
    if (!r.ok() || count > (r.size() - tableOffset) / entrySize || names >= count)
        return {};

    const Section strings = section(names);
    const std::size_t wanted = kVersionSection.size() + 1;
    for (uint64_t i = 0; i < count && r.ok(); ++i) {
        const Section s = section(i);
        if (!r.ok() || s.type == 8 /* no bits in the file */ || !Fits(s.name, wanted, strings.size))
            continue;
        std::array<char, kVersionSection.size() + 1> name{};
        if (!file.read(strings.offset + s.name, name.data(), name.size()))
            continue;
        if (std::string_view(name.data(), name.size() - 1) == kVersionSection && name.back() == '\0')
            return r.bytes(s.offset, std::min<uint64_t>(s.size, kMaxResource));
    }
    return {};
}

// ---- Version blocks --------------------------------------------------------------------

// One block: length, value length, type, UTF-16 key, value, children; each part aligned
// to 32 bits from the start of the resource.
struct Block {
    std::size_t end = 0;
    uint16_t type = 0;
    std::u16string key;
    std::size_t value = 0;
    std::size_t valueBytes = 0;
    std::size_t children = 0;
};

std::size_t Align4(std::size_t n)
{
    return (n + 3) & ~std::size_t{3};
}

uint16_t Word(std::span<const uint8_t> d, std::size_t at)
{
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

std::optional<Block> ParseBlock(std::span<const uint8_t> d, std::size_t at, std::size_t limit)
{
    if (at > limit || limit - at < 6)
        return std::nullopt;
    const std::size_t length = Word(d, at);
    if (length < 6 || length > limit - at)
        return std::nullopt;
    Block b;
    b.end = at + length;
    const uint16_t valueLength = Word(d, at + 2);
    b.type = Word(d, at + 4);
    std::size_t p = at + 6;
    for (;; p += 2) {
        if (b.end - p < 2)
            return std::nullopt; // key not terminated inside the block
        const uint16_t c = Word(d, p);
        if (c == 0)
            break;
        b.key.push_back(static_cast<char16_t>(c));
    }
    b.value = std::min(Align4(p + 2), b.end);
    b.valueBytes = std::min<std::size_t>(b.type == 1 ? std::size_t{valueLength} * 2 : valueLength, b.end - b.value);
    b.children = std::min(Align4(b.value + b.valueBytes), b.end);
    return b;
}

bool KeyEquals(const std::u16string& key, std::string_view name)
{
    if (key.size() != name.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char16_t a = key[i];
        char16_t b = static_cast<unsigned char>(name[i]);
        if (a >= u'A' && a <= u'Z')
            a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z')
            b = static_cast<char16_t>(b + 32);
        if (a != b)
            return false;
    }
    return true;
}

std::optional<Block> FindChild(std::span<const uint8_t> d, const Block& parent, std::string_view name)
{
    // Each child is at least 6 bytes long, so the walk always moves on.
    for (std::size_t at = parent.children; at < parent.end;) {
        auto child = ParseBlock(d, at, parent.end);
        if (!child)
            return std::nullopt;
        if (KeyEquals(child->key, name))
            return child;
        at = Align4(child->end);
    }
    return std::nullopt;
}

// Windows-1252 for the code points 0x80-0x9F of that code page; Latin-1 elsewhere.
char AnsiChar(char16_t c)
{
    static constexpr std::array<char16_t, 32> k1252 = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < k1252.size(); ++i)
        if (k1252[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

std::string CutName(const std::string& name)
{
    return name.substr(0, name.find('\0'));
}

std::vector<uint8_t> ResourceOfFile(const std::string& fileName)
{
    const std::string name = CutName(fileName);
    if (name.empty())
        return {};
    return FindVersionResource(FileSource(name));
}

} // namespace

bool SpanSource::read(uint64_t offset, void* out, std::size_t count) const
{
    if (!Fits(offset, count, bytes_.size()))
        return false;
    if (count > 0)
        std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

FileSource::FileSource(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, ec))
        return;
    const auto size = std::filesystem::file_size(p, ec);
    if (ec)
        return;
    in_.open(p, std::ios::binary);
    if (in_)
        size_ = size;
}

bool FileSource::read(uint64_t offset, void* out, std::size_t count) const
{
    if (!Fits(offset, count, size_) || offset > static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max()))
        return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
    return in_.good() && static_cast<std::size_t>(in_.gcount()) == count;
}

std::vector<uint8_t> FindVersionResource(const ByteSource& file)
{
    std::array<uint8_t, 4> magic{};
    if (!file.read(0, magic.data(), magic.size()))
        return {};
    if (magic[0] == 'M' && magic[1] == 'Z')
        return PeImage(file).versionResource();
    if (magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F')
        return ElfVersionSection(file);
    return {};
}

uint32_t GetFileVersionInfoSize(const std::string& fileName)
{
    return static_cast<uint32_t>(ResourceOfFile(fileName).size());
}

bool GetFileVersionInfo(const std::string& fileName, uint32_t size, std::vector<uint8_t>& data)
{
    data.assign(size, 0);
    const std::vector<uint8_t> resource = ResourceOfFile(fileName);
    if (resource.empty() || size == 0)
        return false;
    std::copy_n(resource.begin(), std::min<std::size_t>(size, resource.size()), data.begin());
    return true;
}

bool VerQueryValue(std::span<const uint8_t> data, std::string_view subBlock, std::string& value)
{
    value.clear();
    auto block = ParseBlock(data, 0, data.size());
    if (!block || !KeyEquals(block->key, "VS_VERSION_INFO"))
        return false;
    bool inStrings = false;
    int depth = 0;
    while (!subBlock.empty()) {
        const std::size_t sep = subBlock.find('\\');
        const std::string_view part = subBlock.substr(0, sep);
        subBlock = sep == std::string_view::npos ? std::string_view() : subBlock.substr(sep + 1);
        if (part.empty())
            continue;
        if (depth++ == 0)
            inStrings = KeyEquals(u"StringFileInfo", part);
        block = FindChild(data, *block, part);
        if (!block)
            return false;
    }
    const auto bytes = data.subspan(block->value, block->valueBytes);
    if (depth == 0) {
        if (bytes.empty())
            return false;
        value.assign(bytes.begin(), bytes.end());
    } else if (block->type == 1 || (inStrings && depth == 3)) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (c == 0)
                break;
            value.push_back(AnsiChar(c));
        }
        value.push_back('\0');
    } else {
        value.assign(bytes.begin(), bytes.end());
    }
    return true;
}

} // namespace quadrantel::platform
