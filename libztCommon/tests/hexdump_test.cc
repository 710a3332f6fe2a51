// Hex dump layouts: line format, run compression, bounds of the output buffer
// and of the data. Data sits in
// heap blocks of exactly its size so the sanitizer build catches stray reads.
#include "hexdump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

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

}  // namespace
