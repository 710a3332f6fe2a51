// The firmware side's TLV handling: received bytes that lie about their
// lengths are refused, and every message it builds is one the common
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

TEST(LinkMessageTest, RequestElementsAreReadByType) {
  Bytes raw = request("RA", Bytes{17, 12, 1, 2, 3, 4}, 0xA1B2C3D4);
  LinkMessage m;
  ASSERT_TRUE(parseLinkMessage(raw.data(), raw.size(), &m));
  EXPECT_EQ(m.category, ZTC_CAT_LIB_REQUEST);
  EXPECT_EQ(m.command, "RA");
  EXPECT_EQ(m.arg, (Bytes{17, 12, 1, 2, 3, 4}));
  EXPECT_EQ(m.option, 7);
  EXPECT_TRUE(m.hasSeq);
  EXPECT_EQ(m.seq, 0xA1B2C3D4u);
  EXPECT_EQ(m.src, ZTC_QUEUE_REPLY);
  EXPECT_EQ(m.dst, ZTC_QUEUE_FIRMWARE);
}

TEST(LinkMessageTest, LengthsThatDoNotAddUpAreRefused) {
  Bytes raw = request("TC", Bytes{'x', 0}, 1);
  LinkMessage m;
  // Header length other than the received length, both ways.
  EXPECT_FALSE(parseLinkMessage(raw.data(), raw.size() - 1, &m));
  Bytes longer = raw;
  longer.push_back(0);
  EXPECT_FALSE(parseLinkMessage(longer.data(), longer.size(), &m));
  // An element whose length runs past the message.
  Bytes bad = raw;
  bad[TLV_HDR_LEN + 1] = 0x7F;
  EXPECT_FALSE(parseLinkMessage(bad.data(), bad.size(), &m));
  // A message cut inside an element head.
  Bytes cut = {0, 6, 0, 24, 0, 0};
  EXPECT_FALSE(parseLinkMessage(cut.data(), cut.size(), &m));
  EXPECT_FALSE(parseLinkMessage(cut.data(), 3, &m));
}

TEST(LinkMessageTest, AnswerEchoesKindFirstArgumentBytesAndSequence) {
  Bytes raw = request("RA", Bytes{8, 11, 9, 9}, 42);
  LinkMessage req;
  ASSERT_TRUE(parseLinkMessage(raw.data(), raw.size(), &req));
  Bytes out = buildLibraryAnswer(req, FwAnswer::data(Bytes{2}));
  ASSERT_EQ(tlv_validate(out.data()), 0);
  LinkMessage a;
  ASSERT_TRUE(parseLinkMessage(out.data(), out.size(), &a));
  EXPECT_EQ(a.category, ZTC_CAT_LIB_ANSWER);
  EXPECT_EQ(a.command, "RA");
  EXPECT_EQ(a.arg, (Bytes{8, 11}));
  EXPECT_EQ(a.seq, 42u);
  EXPECT_TRUE(a.hasResult);
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(a.answer, Bytes{2});
  EXPECT_EQ(a.src, ZTC_QUEUE_FIRMWARE);
  EXPECT_EQ(a.dst, ZTC_QUEUE_REPLY);

  // No answer bytes: no 'E' at all; an empty answer: an 'E' of length 0.
  Bytes none = buildLibraryAnswer(req, FwAnswer::fail(ZT_ERR_NAK_OFF));
  EXPECT_EQ(tlv_find(none.data(), ZTC_EL_RSPARG), nullptr);
  ASSERT_TRUE(parseLinkMessage(none.data(), none.size(), &a));
  EXPECT_EQ(a.result, ZT_ERR_NAK_OFF);
  Bytes empty = buildLibraryAnswer(req, FwAnswer::data(Bytes()));
  const uint8_t* e = tlv_find(empty.data(), ZTC_EL_RSPARG);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e[1] << 8 | e[2], 0);
  // An answer too big for one message is cut, and the message stays well formed.
  Bytes big = buildLibraryAnswer(req, FwAnswer::data(Bytes(1600, 0xAB)));
  EXPECT_LE(big.size(), static_cast<size_t>(ZTMSG_MAX));
  EXPECT_EQ(tlv_validate(big.data()), 0);
}

TEST(LinkMessageTest, EventsCarryTheLayoutTheDaemonReads) {
  Bytes pu = buildPresetEvent(PresetEvent{PresetEvent::kActiveSet, 0x00020001}, ZTC_QUEUE_DAEMON,
                              ZTC_QUEUE_FIRMWARE);
  LinkMessage m;
  ASSERT_TRUE(parseLinkMessage(pu.data(), pu.size(), &m));
  EXPECT_EQ(m.category, ZTC_CAT_PRESET_EVENT);
  EXPECT_EQ(m.command, "PU");
  EXPECT_EQ(m.arg, (Bytes{6, 0x01, 0x00, 0x02, 0x00}));
  EXPECT_EQ(pu.back(), 0xEE);

  Bytes js = buildSuspendRequest(false, ZTC_QUEUE_DAEMON, "/to_ztsim");
  ASSERT_EQ(tlv_validate(js.data()), 0);
  ASSERT_TRUE(parseLinkMessage(js.data(), js.size(), &m));
  EXPECT_EQ(m.category, ZTC_CAT_SYS_REQUEST);
  EXPECT_EQ(m.command, "JS");
  EXPECT_EQ(m.arg, Bytes{0});
  EXPECT_EQ(m.src, "/to_ztsim");
  EXPECT_EQ(m.dst, ZTC_QUEUE_DAEMON);
}

}  // namespace
}  // namespace ztsim
