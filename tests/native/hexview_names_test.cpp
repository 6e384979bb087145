// Names of exported selections.
#include <gtest/gtest.h>

#include <cstring>

#include "hexview/hexview_names.h"

namespace {

std::string Name(const char* path, std::uint32_t anchor, std::uint32_t end, std::size_t size = 260) {
    char out[260];
    std::memset(out, '#', sizeof out);
    HexViewFormatSnapshotName(HexViewFileNamePart(path), anchor, end, out, size);
    return out;
}

TEST(HexViewSnapshotName, NameWithTheSelectionEndsBeforeTheExtension) {
    EXPECT_EQ(Name("c:\\work\\rom.bin", 0x10, 0x20), "rom-[00000010-00000020].bin");
    EXPECT_EQ(Name("c:\\work\\rom.bin", 0x20, 0x10), "rom-[00000020-00000010].bin");
    EXPECT_EQ(Name("c:\\work\\data", 0xABCDEF01, 0), "data-[abcdef01-00000000]");
    EXPECT_EQ(Name("/tmp/image.v2.bin", 1, 2), "image.v2-[00000001-00000002].bin");
    EXPECT_EQ(Name("d:rom.bin", 0, 3), "rom-[00000000-00000003].bin");
}

TEST(HexViewSnapshotName, ALongNameIsCutToTheBuffer) {
    std::string path = "c:\\" + std::string(300, 'x') + ".bin";
    std::string name = Name(path.c_str(), 0, 1);
    EXPECT_EQ(name.size(), 259u);
    EXPECT_EQ(Name("c:\\rom.bin", 0x10, 0x20, 8), "rom-[00");
}

}  // namespace
