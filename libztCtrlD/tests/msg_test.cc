// Msg parsing of hostile bytes (run under the sanitizers to catch any read
// outside the buffer).
#include <gtest/gtest.h>

#include <vector>

#include "Msg.h"

namespace {

using Bytes = std::vector<uint8_t>;

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
        {"truncated element head", {0x00, 0x06, 0x00, 16, 0x00, 0x00}},
        {"no end element", {0x00, 0x0A, 0x00, 16, 0x00, 0x00, 0x02, 'A', 'J', 'S'}},
        {"end element with a value", {0x00, 0x09, 0x00, 16, 0x00, 0x00, 0x01, 0xEE, 0x01}},
        {"bytes after the end element", trailing},
        {"buffer shorter than a header", {0x00, 0x04, 0x00}},
        {"header length below the header", {0x00, 0x02, 0x00, 0x10}},
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
