// Hex dump layouts: line format, run compression, bounds of the output buffer
// and of the data, and the shortening of long debug-print dumps. Data sits in
// heap blocks of exactly its size so the sanitizer build catches stray reads.
#include "hexdump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>

#include "utils.h"
#include "ztTestChild.h"

namespace {

// A 16-byte aligned heap block of len bytes: fill, then text from offset at.
std::shared_ptr<uint8_t> Block(size_t len, uint8_t fill, size_t at = 0,
                               const std::string &text = "")
{
    void *p = nullptr;
    EXPECT_EQ(0, posix_memalign(&p, 16, len));
    memset(p, fill, len);
    text.copy(static_cast<char *>(p) + at, text.size());
    return std::shared_ptr<uint8_t>(static_cast<uint8_t *>(p), free);
}

std::string Dump(const void *data, size_t len, bool absolute = true, unsigned size = 4096)
{
    std::unique_ptr<char[]> out(new char[size]);
    int n =
        (absolute ? snhexdump : snhexdump0)(out.get(), size, data, len, absolute ? "P:" : nullptr);
    EXPECT_TRUE(n >= 0 && unsigned(n) < size && strlen(out.get()) == size_t(n)) << size;
    return out.get();
}

TEST(SnHexDump, LinesRunsOffsetsAndBlankColumnsOutsideTheData)
{
    auto a = Block(64, 'A', 48, std::string(16, 'B'));
    auto b = Block(32, 0xEE, 3, "\x01hi");
    char addr[2][9];
    snprintf(addr[0], 9, "%08X", unsigned(uintptr_t(a.get())));
    snprintf(addr[1], 9, "%08X", unsigned(uintptr_t(b.get())));
    const std::string lineA =
        "41 41 41 41  41 41 41 41  41 41 41 41  41 41 41 41  AAAAAAAAAAAAAAAA\n";
    EXPECT_EQ(Dump(a.get(), 48), "P:" + std::string(addr[0]) + "  " + lineA);
    EXPECT_EQ(Dump(a.get(), 64, false), "00000000  " + lineA +
                                            "...\n00000030  42 42 42 42  42 42 42 42  42 42 42 42  "
                                            "42 42 42 42  BBBBBBBBBBBBBBBB\n");
    // A partial last line is printed, however the bytes behind the data look.
    EXPECT_EQ(Dump(a.get(), 24, false).substr(79),
              "00000010  41 41 41 41  41 41 41 41" + std::string(28, ' ') + "AAAAAAAA        \n");
    // Unaligned start: blanks for the bytes before and after the data.
    EXPECT_EQ(Dump(b.get() + 3, 3), "P:" + std::string(addr[1]) + std::string(11, ' ') +
                                        "01  68 69" + std::string(37, ' ') + ".hi" +
                                        std::string(10, ' ') + "\n");
    // An empty range prints its address (counting its terminator); a range
    // that wraps around the address space prints nothing.
    char buf[8];
    EXPECT_TRUE(snhexdump(buf, 8, nullptr, 0, "P:") == 7 && std::string(buf) == "(nil)\n");
    EXPECT_EQ(snhexdump0(buf, 4, a.get(), 0, nullptr), 3);
    EXPECT_EQ(snhexdump(buf, 8, (void *)(UINTPTR_MAX - 3), 16, nullptr), 0);
    for (unsigned size : {1u, 10u, 83u, 84u, 200u})
        Dump(a.get(), 64, true, size);
}

TEST(HexPrint, LongDumpKeepsHeadAndTailUnlessFullAndGroupsEndWithTheData)
{
    // The addresses of the dumped lines, then a compact dump of 22 bytes.
    auto print = [](uint32_t bits, int len, unsigned address) {
        std::string out =
            zt_test::RunInChild([&] {
                g_debug_level = ZT_DBG_TO_STDOUT | bits;
                hexprint("T", address, Block(size_t(len), 'x').get(), len);
                hexprint_noaddr(std::string(101, 'N').c_str(), 0, Block(22, 0x11).get(), 22);
            }).out;
        const std::regex shape(".*T {10}(\\w{8}).*\n|[A-Z][a-z]{2}\\d\\d \\d\\d:\\d\\d:\\d\\d \n?");
        return std::regex_replace(out, shape, "$1");
    };
    const std::string tail =
        std::string(100, 'N') + "1111 11111111 11111111 11111111 1111\n1111 11111111\n";
    EXPECT_EQ(print(32, 200, 0x2000),
              "00002000000020100000202000002030000020a0000020b0000020c0" + tail);
    EXPECT_EQ(print(32 | ZT_DBG_FULL_HEXDUMP, 200, 0).size(), 13 * 8 + tail.size());
    EXPECT_EQ(print(32, 20, 0x2005), "0000200000002010" + tail);
    EXPECT_EQ(print(7, 22, 0), "");
}

}  // namespace
