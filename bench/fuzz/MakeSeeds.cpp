// Writes the seed corpus: PE images of both widths, ELF files and a bare version block.
#include "support/VersionBytes.h"

#include <fstream>
#include <string>

using namespace quadrantel::test;

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::string dir = argv[1];
    auto write = [&](const std::string& name, const Bytes& b) {
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    };
    const Bytes res = VersionResource({});
    write("resource", res);
    write("pe32", PeImage(res, false));
    write("pe64", PeImage(res, true));
    write("elf64le", ElfFile(res, ".quadrantel_version", true, false));
    write("elf32be", ElfFile(res, ".quadrantel_version", false, true));
    return 0;
}
