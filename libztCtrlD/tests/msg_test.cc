// Msg, MsgElement and MemStream: the TLV layout on both sides, and parsing
// of hostile bytes (run under the sanitizers to catch any read outside the
// buffer).
#include <gtest/gtest.h>

#include <vector>

#include "Msg.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes serialize(const Msg &msg, uint32_t capacity = 1500)
{
    Bytes out(capacity);
    MemStream stream(out.data(), capacity);
    stream << msg;
    out.resize(stream.fail() ? 0 : stream.getLength());
    return out;
}

// A message in a buffer of exactly its size, so a parser that reads one
// byte too far trips the address sanitizer.
bool parses(const Bytes &bytes, Msg *msg)
{
    Bytes exact(bytes);
    MemStream stream(exact.data(), static_cast<uint32_t>(exact.size()));
    stream >> *msg;
    return !stream.fail();
}

const Bytes kValid = {0x00, 0x0E, 0x00, 16,   0x00, 0x00, 0x02,
                      'A',  'J',  'S',  0x00, 0x00, 0x00, 0xEE};

TEST(MemStream, RefusesWhatDoesNotFitAndReadsConsecutiveMessages)
{
    Bytes huge(1493, 0x11);  // 4 + (4 + 1493) + 4 = 1505 > 1500
    MsgElement h('E', huge.data(), 1493);
    Msg tooBig(21), in[3];
    tooBig.addElement(&h);
    EXPECT_TRUE(serialize(tooBig, 4000).empty());

    Bytes two = kValid;
    two.insert(two.end(), kValid.begin(), kValid.end());
    MemStream stream(two.data(), static_cast<uint32_t>(two.size()));
    stream >> in[0] >> in[1];
    EXPECT_FALSE(stream.fail());
    EXPECT_EQ(stream.getReadPosition(), two.size());
    stream >> in[2];
    EXPECT_TRUE(stream.fail());
    EXPECT_EQ(in[1].getElementCount() * 10 + in[2].getElementCount(), 20u);
}

Bytes with(Bytes b, size_t at, uint8_t value)
{
    b[at] = value;
    return b;
}

TEST(MsgMalformed, EveryFramingFaultIsRejectedAndLeavesNoElements)
{
    Bytes trailing = kValid, tooMany = {0x00, 0x00, 0x00, 20};
    trailing.insert(trailing.end(), {0x00, 0x00, 0x00, 'B'});
    trailing[1] = static_cast<uint8_t>(trailing.size());
    for (uint32_t i = 0; i <= Msg::kMaxElements; ++i)
        tooMany.insert(tooMany.end(), {0x00, 0x00, 0x00, 'X'});
    tooMany.back() = 0xEE;  // the end element is one too many
    tooMany[0] = static_cast<uint8_t>(tooMany.size() >> 8);
    tooMany[1] = static_cast<uint8_t>(tooMany.size());
    const struct {
        const char *fault;
        Bytes bytes;
    } cases[] = {
        {"header length beyond the buffer", with(kValid, 1, 0x0F)},
        {"element claims 32 bytes", with(kValid, 6, 0x20)},
        {"element claims 0xFF02 bytes", with(kValid, 5, 0xFF)},
        {"truncated element head", {0x00, 0x06, 0x00, 16, 0x00, 0x00}},
        {"no end element", {0x00, 0x0A, 0x00, 16, 0x00, 0x00, 0x02, 'A', 'J', 'S'}},
        {"end element with a value", {0x00, 0x09, 0x00, 16, 0x00, 0x00, 0x01, 0xEE, 0x01}},
        {"bytes after the end element", trailing},
        {"empty buffer", {}},
        {"buffer shorter than a header", {0x00, 0x04, 0x00}},
        {"header length below the header", {0x00, 0x02, 0x00, 0x10}},
        {"header only", {0x00, 0x04, 0x00, 0x10}},
        {"more elements than fit", tooMany},
    };
    Msg msg;
    for (const auto &c : cases) {
        ASSERT_TRUE(parses(kValid, &msg));
        EXPECT_FALSE(parses(c.bytes, &msg)) << c.fault;
        EXPECT_EQ(msg.getElementCount(), 0u) << c.fault;
    }
}

}  // namespace
