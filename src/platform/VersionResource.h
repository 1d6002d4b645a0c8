#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Version resources of program files: the VS_VERSIONINFO block layout (16-bit lengths,
// UTF-16 keys, 32-bit alignment), found in the resource directory of a PE image or in the
// ELF section our build adds to its own executables. Every offset and length read from a
// file is checked against the file; anything malformed reads as "no resource".
namespace quadrantel::platform {

inline constexpr std::string_view kVersionSection = ".quadrantel_version";
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// Random access to bytes; a read that would leave the source fails.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    virtual bool read(uint64_t offset, void* out, std::size_t count) const = 0;
};

class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, void* out, std::size_t count) const override;

private:
    std::span<const uint8_t> bytes_;
};

// A regular file read on demand; anything else (folders, devices, pipes) has size 0.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, void* out, std::size_t count) const override;

private:
    mutable std::ifstream in_;
    uint64_t size_ = 0;
};

// The VS_VERSIONINFO bytes of a PE image (first RT_VERSION entry) or of an ELF file (its
// version section); empty when there is none or the structures do not hold together.
std::vector<uint8_t> FindVersionResource(const ByteSource& file);

// Size of the file's version data, 0 when it has none. The name ends at its first NUL.
uint32_t GetFileVersionInfoSize(const std::string& fileName);
// Copies at most size bytes of the file's version data into data (resized to size).
bool GetFileVersionInfo(const std::string& fileName, uint32_t size, std::vector<uint8_t>& data);

// Looks up a path in version data: "\" gives the root's fixed information,
// "\VarFileInfo\Translation" the translation words, "\StringFileInfo\<lang><cp>\<key>"
// the text converted to 8-bit with a closing NUL. Keys match without regard to case.
bool VerQueryValue(std::span<const uint8_t> data, std::string_view subBlock, std::string& value);

} // namespace quadrantel::platform
