// The firmware side's TLV handling: received bytes that lie about their
// lengths are refused, and the answers it builds are ones the common
// library accepts, with the elements the firmware link fixes.
#include "link_message.h"

#include <gtest/gtest.h>

#include "ztTlv.h"
#include "ztcWire.h"

namespace ztsim {
namespace {

Bytes request(const char* kind, const Bytes& arg, uint32_t seq) {
  uint8_t buf[ZTMSG_MAX];
  sntlv_msg_init(buf, sizeof buf, ZTC_CAT_LIB_REQUEST);
  sntlv_add_bin(buf, sizeof buf, ZTC_EL_CMD, 2, kind);
  sntlv_add_bin(buf, sizeof buf, ZTC_EL_CMDARG, static_cast<uint32_t>(arg.size()), arg.data());
  sntlv_add_bin(buf, sizeof buf, ZTC_EL_OPTION, 1, "\x07");
  sntlv_add_dat(buf, sizeof buf, ZTC_EL_SEQ, 4, seq);
  sntlv_add_bin(buf, sizeof buf, ZTC_EL_SRC, 11, ZTC_QUEUE_REPLY);
  sntlv_add_bin(buf, sizeof buf, ZTC_EL_DST, 9, ZTC_QUEUE_FIRMWARE);
  sntlv_add_bin(buf, sizeof buf, ZTC_EL_END, 0, nullptr);
  return Bytes(buf, buf + sntlv_msg_len(buf));
}

// Parses `raw` (which must be well formed) into its elements, compared whole.
auto parsed(const Bytes& raw) {
  LinkMessage m;
  EXPECT_EQ(tlv_validate(raw.data()), 0);
  EXPECT_TRUE(parseLinkMessage(raw.data(), raw.size(), &m));
  return std::make_tuple(m.category, m.command, m.arg, m.option, m.hasSeq, m.seq, m.src, m.dst,
                         m.hasResult, m.result, m.answer);
}

TEST(LinkMessageTest, RequestsAreReadByTypeAndLengthsThatDoNotAddUpAreRefused) {
  Bytes raw = request("RA", Bytes{17, 12, 1, 2, 3, 4}, 0xA1B2C3D4);
  EXPECT_EQ(parsed(raw),
            std::make_tuple(ZTC_CAT_LIB_REQUEST, "RA", Bytes{17, 12, 1, 2, 3, 4}, 7, true,
                            0xA1B2C3D4u, ZTC_QUEUE_REPLY, ZTC_QUEUE_FIRMWARE, false, 0, Bytes()));
  // Header length other than the received length, both ways; an element
  // running past the message; a message cut inside an element head.
  Bytes longer = raw, bad = raw, cut = {0, 6, 0, 24, 0, 0};
  longer.push_back(0);
  bad[TLV_HDR_LEN + 1] = 0x7F;
  LinkMessage m;
  EXPECT_FALSE(parseLinkMessage(raw.data(), raw.size() - 1, &m));
  EXPECT_FALSE(parseLinkMessage(longer.data(), longer.size(), &m));
  EXPECT_FALSE(parseLinkMessage(bad.data(), bad.size(), &m));
  EXPECT_FALSE(parseLinkMessage(cut.data(), cut.size(), &m));
  EXPECT_FALSE(parseLinkMessage(cut.data(), 3, &m));
}

// (The preset event and suspend request layouts are checked as they arrive
// from the simulator process.)
TEST(LinkMessageTest, AnswersEchoKindFirstArgumentBytesAndSequence) {
  LinkMessage req;
  Bytes raw = request("RA", Bytes{8, 11, 9, 9}, 42);
  ASSERT_TRUE(parseLinkMessage(raw.data(), raw.size(), &req));
  EXPECT_EQ(parsed(buildLibraryAnswer(req, FwAnswer::data(Bytes{2}))),
            std::make_tuple(ZTC_CAT_LIB_ANSWER, "RA", Bytes{8, 11}, 0, true, 42u,
                            ZTC_QUEUE_FIRMWARE, ZTC_QUEUE_REPLY, true, 0, Bytes{2}));
  // No answer bytes: no 'E' at all; an empty answer: an 'E' of length 0.
  Bytes none = buildLibraryAnswer(req, FwAnswer::fail(ZT_ERR_NAK_OFF));
  EXPECT_EQ(tlv_find(none.data(), ZTC_EL_RSPARG), nullptr);
  EXPECT_EQ(std::get<9>(parsed(none)), ZT_ERR_NAK_OFF);
  Bytes empty = buildLibraryAnswer(req, FwAnswer::data(Bytes()));
  const uint8_t* e = tlv_find(empty.data(), ZTC_EL_RSPARG);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e[1] << 8 | e[2], 0);
  // An answer too big for one message is cut, and the message stays well formed.
  Bytes big = buildLibraryAnswer(req, FwAnswer::data(Bytes(1600, 0xAB)));
  EXPECT_LE(big.size(), static_cast<size_t>(ZTMSG_MAX));
  EXPECT_EQ(tlv_validate(big.data()), 0);
}

}  // namespace
}  // namespace ztsim
