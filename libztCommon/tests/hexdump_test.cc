// Hex dump layouts: line format, run compression, bounds of the output
// buffer and of the data, and the shortening of long debug-print dumps.
// Data under test sits in heap buffers of exactly its size so the sanitizer
// build catches any read past it.
#include "hexdump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "utils.h"
#include "ztTestChild.h"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};
using Block = std::unique_ptr<uint8_t, FreeDeleter>;

// A 16-byte aligned heap block of exactly len bytes.
Block Aligned(size_t len, uint8_t fill)
{
    void *p = nullptr;
    if (posix_memalign(&p, 16, len) != 0)
        abort();
    memset(p, fill, len);
    return Block(static_cast<uint8_t *>(p));
}

std::string Addr(const void *p, unsigned delta = 0)
{
    char s[16];
    snprintf(s, sizeof s, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)) + delta);
    return s;
}

const char kLineOfA[] = "41 41 41 41  41 41 41 41  41 41 41 41  41 41 41 41  AAAAAAAAAAAAAAAA\n";

std::string Dump(const void *data, size_t len, const char *prefix = "P:", bool absolute = true,
                 unsigned size = 4096)
{
    std::vector<char> out(size);
    int n = absolute ? snhexdump(out.data(), size, data, len, prefix)
                     : snhexdump0(out.data(), size, data, len, prefix);
    std::string s(out.data());
    EXPECT_EQ(static_cast<size_t>(n), s.size());
    return s;
}

TEST(SnHexDump, RunOfEqualLinesKeepsTheFirstLineAndBecomesEllipsisBeforeADifferentLine)
{
    Block data = Aligned(64, 'A');
    EXPECT_EQ("P:" + Addr(data.get()) + "  " + kLineOfA, Dump(data.get(), 48));
    memset(data.get() + 48, 'B', 16);
    std::string lastLine = "42 42 42 42  42 42 42 42  42 42 42 42  42 42 42 42  BBBBBBBBBBBBBBBB\n";
    EXPECT_EQ("P:" + Addr(data.get()) + "  " + kLineOfA + "...\n" + "P:" + Addr(data.get(), 0x30) +
                  "  " + lastLine,
              Dump(data.get(), 64));
}

TEST(SnHexDump0, OffsetsFromZeroAndBlankColumnsPastTheData)
{
    Block data = Aligned(20, 0);
    for (int i = 0; i < 20; i++)
        data.get()[i] = static_cast<uint8_t>(0x30 + i);
    EXPECT_EQ(
        "00000000  30 31 32 33  34 35 36 37  38 39 3A 3B  3C 3D 3E 3F  0123456789:;<=>?\n"
        "00000010  40 41 42 43                                         @ABC            \n",
        Dump(data.get(), 20, nullptr, false));
}

TEST(SnHexDump, UnalignedStartShowsBlanksAndReadsNothingBeforeTheData)
{
    Block block = Aligned(32, 0);
    uint8_t *data = block.get() + 3;
    memcpy(data, "\x01hi", 3);
    // Only 3 bytes from data on are ours to read: block + 0..2 and 6.. are
    // still inside the block, so poison them with a value that would show.
    memset(block.get(), 0xEE, 3);
    memset(block.get() + 6, 0xEE, 26);
    std::string line = Dump(data, 3);
    EXPECT_EQ("P:" + Addr(block.get()) + "  " + std::string(9, ' ') + "01  68 69 " +
                  std::string(7, ' ') + std::string(13, ' ') + std::string(13, ' ') +
                  "   .hi          \n",
              line);
}

TEST(SnHexDump, OutputNeverPassesTheBufferSize)
{
    Block data = Aligned(64, 'A');
    memset(data.get() + 16, 'B', 48);
    for (unsigned size : {1u, 10u, 83u, 84u, 100u, 200u}) {
        Block out = Aligned(size, 0x7F);
        int n = snhexdump(reinterpret_cast<char *>(out.get()), size, data.get(), 64, "P:");
        ASSERT_GE(n, 0);
        ASSERT_LT(static_cast<unsigned>(n), size) << size;
        EXPECT_EQ('\0', out.get()[n]) << size;
    }
}

TEST(HexLine, TagAddressGroupsAndBlanksOutsideTheData)
{
    char buf[HEXLINE_BUF_SIZE];
    unsigned address = 0x1000;
    int offset = -3;
    int n = hexline(buf, sizeof buf, "TAG", &address, &offset, "ABCD", 4);
    EXPECT_STREQ(
        "TAG        00001000"
        "        41 424344"
        "  "
        " "
        "        "
        " "
        "        "
        "  "
        "   ABCD         ",
        buf);
    EXPECT_EQ(static_cast<int>(strlen(buf)), n);
    EXPECT_EQ(0x1010u, address);
    EXPECT_EQ(13, offset);
}

// Runs hexprint in a child with the dump going to standard output and
// returns the addresses of the printed lines.
std::vector<unsigned> PrintedLineAddresses(uint32_t extraBits, int len, unsigned address)
{
    auto child = zt_test::RunInChild([&] {
        g_debug_level = ZT_DBG_TO_STDOUT | extraBits | 32;
        Block data = Aligned(static_cast<size_t>(len), 'x');
        hexprint("DUMPTAG", address, data.get(), len);
    });
    EXPECT_TRUE(child.exitedWith(0));
    std::vector<unsigned> addresses;
    std::istringstream lines(child.out);
    std::string line;
    while (std::getline(lines, line)) {
        auto at = line.find("DUMPTAG    ");
        if (at != std::string::npos)
            addresses.push_back(std::stoul(line.substr(at + 11, 8), nullptr, 16));
    }
    return addresses;
}

TEST(HexPrint, LongDumpKeepsHeadAndTailUnlessFullAndUnalignedStartsAtTheLineBefore)
{
    std::vector<unsigned> headAndTail;
    for (unsigned off : {0u, 16u, 32u, 48u, 160u, 176u, 192u})
        headAndTail.push_back(0x2000 + off);
    EXPECT_EQ(headAndTail, PrintedLineAddresses(0, 200, 0x2000));
    EXPECT_EQ(13u, PrintedLineAddresses(ZT_DBG_FULL_HEXDUMP, 200, 0x2000).size());
    EXPECT_EQ((std::vector<unsigned>{0x2000, 0x2010}), PrintedLineAddresses(0, 20, 0x2005));
}

TEST(HexPrintNoAddr, GroupsOfFourEndWithTheDataAndNothingBelowTheThreshold)
{
    auto child = zt_test::RunInChild([] {
        g_debug_level = ZT_DBG_TO_STDOUT | 7;
        hexprint("QUIET", 0, "abc", 3);
        hexprint_noaddr("QUIET", 0, "abc", 3);
        g_debug_level = ZT_DBG_TO_STDOUT | 32;
        Block data = Aligned(22, 0);
        for (int i = 0; i < 22; i++)
            data.get()[i] = static_cast<uint8_t>(i);
        hexprint_noaddr("t:", 0, data.get(), 22);
        hexprint_noaddr("t:", 0, data.get(), 0);
    });
    ASSERT_TRUE(child.exitedWith(0));
    EXPECT_EQ(3, std::count(child.out.begin(), child.out.end(), '\n'))
        << "printed below the threshold:\n"
        << child.out;
    EXPECT_NE(std::string::npos, child.out.find(" t:0001 02030405 06070809 0a0b0c0d 0e0f\n"));
    EXPECT_NE(std::string::npos, child.out.find(" 1011 12131415\n"));
    EXPECT_NE(std::string::npos, child.out.find(" \n")) << "empty data prints an empty line";
}

}  // namespace
