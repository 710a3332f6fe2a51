// TLV messages: appending, searching and validating, with hostile
// bytes. Messages under validation sit in heap buffers of exactly their size,
// so the sanitizer build catches any read outside them.
#include "ztTlv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "utils.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Lays out a message without the library under test. layout lists the
// elements, '|' between them, each its type character followed by its value.
Bytes Msg(uint8_t category, const std::string &layout)
{
    Bytes m = {0, 0, 0, category};
    std::stringstream in(layout);
    for (std::string e; std::getline(in, e, '|');) {
        m.insert(m.end(), {0, uint8_t((e.size() - 1) >> 8), uint8_t(e.size() - 1), uint8_t(e[0])});
        m.insert(m.end(), e.begin() + 1, e.end());
    }
    m[0] = uint8_t(m.size() >> 8);
    m[1] = uint8_t(m.size());
    return m;
}

const std::string kRequest = "AJS|C/to_ztCtlD|D/to_peer|Bx|\xEE";

Bytes With(Bytes m, size_t at, uint8_t value)
{
    m.at(at) = value;
    return m;
}

TEST(TlvBuild, AppendPastTheBufferOrOntoABadHeaderIsRefusedAndWritesNothing)
{
    Bytes m(40, 0x5A);
    sntlv_msg_init(m.data(), 40, 16);
    ASSERT_EQ(sntlv_add_bin(m.data(), 40, 'B', 25, std::string(25, 'f').data()), 29u);
    EXPECT_EQ(sntlv_add_dat(m.data(), 36, 'E', 0, 7), 0u);  // needs 37
    EXPECT_EQ(Bytes(m.begin() + 33, m.end()), Bytes(7, 0x5A));
    EXPECT_EQ(sntlv_add_bin(m.data(), 37, 'E', 0, nullptr), 4u);  // fits exactly
    // Huge lengths must not wrap past the room test.
    EXPECT_EQ(sntlv_add_bin(m.data(), 64, 'B', 0xFFFFFFFFu, m.data()), 0u);
    EXPECT_EQ(sntlv_add_bin(m.data(), 0xFFFFFFFFu, 'B', 0xFFFFFFF0u, m.data()), 0u);
    EXPECT_EQ(sntlv_msg_len(m.data()), 37);
    // The room test comes before the check that a source has a value.
    EXPECT_EQ(sntlv_add_bin(m.data(), 37, TLV_SRC, 0, nullptr), 0u);
    // A negative total would put the element before the buffer.
    Bytes negative(64, 0x5A);
    negative[0] = negative[1] = 0xFF;
    EXPECT_EQ(sntlv_add_bin(negative.data(), 64, 'B', 1, "x"), 0u);
}

TEST(TlvFind, FirstOfItsTypeCopiedOnlyWhenShorterThanTheDestinationAndNeverPastTheTotal)
{
    Bytes m = Msg(16, "D/to_peer|Bfirst|Bsecond|\xEE");
    EXPECT_EQ(tlv_find(m.data(), 'B'), m.data() + 16);
    EXPECT_EQ(tlv_find(m.data(), -18), m.data() + m.size() - 4);
    EXPECT_EQ(tlv_find(m.data(), 'C'), nullptr);
    std::string dst(9, '#');
    EXPECT_EQ(sntlv_find(&dst[0], 9, 'D', m.data()), 8u);
    EXPECT_EQ(dst, "/to_peer#");  // no terminator added
    dst.assign(9, '#');
    EXPECT_EQ(sntlv_find(&dst[0], 8, 'D', m.data()) + sntlv_find(&dst[0], 9, 'Q', m.data()), 0u);
    EXPECT_EQ(dst, std::string(9, '#'));
    // An element running past the total ends the walk; so does a total that
    // stops inside an element head.
    Bytes past = With(Msg(16, "AJS|Bxy|\xEE"), 12, 0xFF);
    EXPECT_EQ(tlv_find(past.data(), 'A'), past.data() + 4);
    EXPECT_EQ(tlv_find(past.data(), 'B'), nullptr);
    EXPECT_EQ(tlv_find(past.data(), TLV_END), nullptr);
    Bytes cut = With(Msg(16, "AJS|\xEE"), 1, 12);
    EXPECT_EQ(sntlv_find(&dst[0], 9, 0, cut.data()), 0u);
}

// One message per fault, in the order the checks run; a request and an
// answer without its answer argument pass.
TEST(TlvValidate, ReportsEachFaultWithItsResultInCheckOrder)
{
    const Bytes request = Msg(16, kRequest);
    const struct {
        Bytes msg;
        int result;
    } cases[] = {
        {request, 0},
        {Msg(17, kRequest), 0},
        {Bytes{0, 17, 0, 250}, -1},
        {Bytes{0x05, 0xDD, 0, 0}, -1},
        {Msg(16, "A" + std::string(1492, 'a')), -1},
        {With(request, request.size() - 2, 1), -1},
        {With(request, 5, 0x40), -1},
        {With(Msg(16, kRequest + "|\x01"), 1, uint8_t(request.size() + 2)), -1},
        {Msg(16, "AJS|C/d|D/s|B\xEE"), -1},
        {Msg(240, "C/d|D/s|Bx|\xEE"), -3},
        {Msg(240, "AJS|B|\xEE"), -3},
        {Msg(16, "AJS|C/d|Bx|\xEE"), -3},
        {Msg(240, "AJS|C/d|D/s|\xEE|\xEE"), -1},
        {Msg(240, "AJS|C/d|D/s|\xEE"), -2},
        {Msg(239, "AJS|C/d|D/s|\xEE"), -3},
        {Msg(16, "AJS|C/d|D/s|\xEE"), -3},
    };
    for (const auto &c : cases) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[c.msg.size()]);
        memcpy(exact.get(), c.msg.data(), c.msg.size());
        EXPECT_EQ(tlv_validate(exact.get()), c.result) << &c - cases;
    }
}

}  // namespace
