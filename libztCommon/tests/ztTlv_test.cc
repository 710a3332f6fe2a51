// TLV message building, searching, editing and validation. Messages under
// test sit in heap buffers of exactly their size, so the sanitizer build
// catches any read or write outside them.
#include "ztTlv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "utils.h"
#include "ztTestChild.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Elements = std::vector<std::pair<int, std::string>>;

// Lays out a message byte by byte, without the library, so tests of the
// search and validation code do not depend on the building code.
Bytes RawMsg(uint8_t category, const Elements &elements)
{
    Bytes m = {0, 0, 0, category};
    for (const auto &[type, value] : elements) {
        m.push_back(0);
        m.push_back(static_cast<uint8_t>(value.size() >> 8));
        m.push_back(static_cast<uint8_t>(value.size()));
        m.push_back(static_cast<uint8_t>(type));
        m.insert(m.end(), value.begin(), value.end());
    }
    m[0] = static_cast<uint8_t>(m.size() >> 8);
    m[1] = static_cast<uint8_t>(m.size());
    return m;
}

const std::string kEnd;  // value of the end element

// A request as the daemon's peers send it.
Elements Request()
{
    return {{TLV_CMD, "JS"},
            {TLV_DST, "/to_ztCtlD"},
            {TLV_SRC, "/to_peer"},
            {TLV_CMDARG, "x"},
            {TLV_END, kEnd}};
}

Elements Without(Elements e, int type)
{
    for (auto it = e.begin(); it != e.end(); ++it) {
        if (it->first == type) {
            e.erase(it);
            break;
        }
    }
    return e;
}

struct Validation {
    int result = 99;
    std::string report;  // what reached the system log, ident removed
};

// Validates in a child with the given debug mask and captures the report the
// debug print sends to the system log at LOG_DEBUG.
Validation Validate(const Bytes &m, uint32_t debugLevel = 16)
{
    auto child = zt_test::RunInChild([&] {
        g_debug_level = debugLevel;
        zt_test::CaptureSyslogAt(LOG_DEBUG);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[m.size()]);
        memcpy(exact.get(), m.data(), m.size());
        printf("%d", tlv_validate(exact.get()));
    });
    Validation v;
    EXPECT_TRUE(child.exitedWith(0)) << child.err;
    if (!child.out.empty())
        v.result = std::stoi(child.out);
    v.report = zt_test::StripSyslogIdent(child.err);
    return v;
}

TEST(TlvBuild, WritesHeaderAndElementsByteExact)
{
    uint8_t m[ZTMSG_MAX];
    EXPECT_EQ(sntlv_msg_init(m, sizeof m, 0x14), 4u);
    EXPECT_EQ(sntlv_add_bin(m, sizeof m, 'A', 2, "JS"), 6u);
    EXPECT_EQ(sntlv_add_dat(m, sizeof m, 'B', 4, 0x01020304), 8u);
    EXPECT_EQ(sntlv_add_dat(m, sizeof m, 'E', 2, 0xAABBCCDD), 6u);
    EXPECT_EQ(sntlv_add_dat(m, sizeof m, 'F', 9, 0x11223344), 8u);
    EXPECT_EQ(sntlv_add_bin(m, sizeof m, TLV_END, 0, nullptr), 4u);
    const Bytes expected = {
        0x00, 0x24, 0x00, 0x14,                          // header
        0x00, 0x00, 0x02, 'A',  'J',  'S',               // command
        0x00, 0x00, 0x04, 'B',  0x04, 0x03, 0x02, 0x01,  // value, LSB first
        0x00, 0x00, 0x02, 'E',  0xDD, 0xCC,              // low two bytes
        0x00, 0x00, 0x04, 'F',  0x44, 0x33, 0x22, 0x11,  // longer than 4: cut to 4
        0x00, 0x00, 0x00, 0xEE};
    EXPECT_EQ(Bytes(m, m + sntlv_msg_len(m)), expected);
}

TEST(TlvBuild, AppendThatWouldPassTheBufferIsRefusedAndWritesNothing)
{
    // Room for exactly 1500 bytes, then a guard area the append must not touch.
    std::unique_ptr<uint8_t[]> m(new uint8_t[ZTMSG_MAX + 8]);
    memset(m.get(), 0x5A, ZTMSG_MAX + 8);
    sntlv_msg_init(m.get(), ZTMSG_MAX, 16);
    std::string filler(1497 - 4 - 4, 'f');
    ASSERT_EQ(sntlv_add_bin(m.get(), ZTMSG_MAX, 'B', filler.size(), filler.data()), 1493u);
    ASSERT_EQ(sntlv_msg_len(m.get()), 1497);
    EXPECT_EQ(sntlv_add_bin(m.get(), ZTMSG_MAX, 'E', 0, nullptr), 0u);
    EXPECT_EQ(sntlv_add_dat(m.get(), ZTMSG_MAX, 'E', 1, 7), 0u);
    EXPECT_EQ(sntlv_msg_len(m.get()), 1497);
    for (int i = 1497; i < ZTMSG_MAX + 8; i++)
        ASSERT_EQ(m[i], 0x5A) << "byte " << i;
    // The same element fits once the buffer has room for it.
    EXPECT_EQ(sntlv_add_bin(m.get(), ZTMSG_MAX + 1, 'E', 0, nullptr), 4u);

    // Huge lengths must not wrap past the room test.
    uint8_t small[64];
    sntlv_msg_init(small, sizeof small, 0);
    EXPECT_EQ(sntlv_add_bin(small, sizeof small, 'B', 0xFFFFFFFFu, small), 0u);
    EXPECT_EQ(sntlv_add_bin(small, 0xFFFFFFFFu, 'B', 0xFFFFFFFEu, small), 0u);
    EXPECT_EQ(sntlv_msg_len(small), 4);

    // A negative or too-small length in the header would put the element
    // before the buffer or over the header.
    for (Bytes header : {Bytes{0xFF, 0xFF, 0, 0}, Bytes{0x80, 0x00, 0, 0}, Bytes{0, 2, 0, 0}}) {
        Bytes msg = header;
        msg.resize(64, 0x5A);
        EXPECT_EQ(sntlv_add_bin(msg.data(), msg.size(), 'B', 1, "x"), 0u);
        EXPECT_EQ(Bytes(msg.begin(), msg.begin() + 4), header);
    }
}

TEST(TlvBuild, EmptySourceOrDestinationAbortsButOnlyWhenItWouldFit)
{
    for (int type : {TLV_SRC, TLV_DST}) {
        auto child = zt_test::RunInChild([type] {
            g_debug_level = 8;
            zt_test::CaptureSyslogAt(LOG_DEBUG);
            uint8_t m[64];
            sntlv_msg_init(m, sizeof m, 0);
            sntlv_add_bin(m, sizeof m, type, 0, nullptr);
        });
        std::string cond = type == TLV_SRC ? "(atype != TLV_SRC) || (alen > 0)"
                                           : "(atype != TLV_DST) || (alen > 0)";
        EXPECT_TRUE(child.killedBy(SIGABRT)) << child.status;
        EXPECT_NE(child.err.find("\033[31mASSERT:"), std::string::npos) << child.err;
        EXPECT_NE(child.err.find("/sntlv_add_bin:"), std::string::npos) << child.err;
        EXPECT_NE(child.err.find(":" + cond + "\n\033[0m"), std::string::npos) << child.err;
    }
    // The room test comes first: a full buffer returns instead of aborting.
    uint8_t m[8];
    sntlv_msg_init(m, sizeof m, 0);
    sntlv_add_bin(m, sizeof m, 'B', 0, nullptr);
    EXPECT_EQ(sntlv_add_bin(m, sizeof m, TLV_SRC, 0, nullptr), 0u);
}

TEST(TlvFind, ReturnsFirstOfRepeatedTypeCopiesOnlyWhatFitsAndNothingInEmptyMessages)
{
    Bytes m = RawMsg(16, {{'D', "/to_peer"}, {'B', "first"}, {'B', "second"}, {TLV_END, kEnd}});
    const uint8_t *b = tlv_find(m.data(), 'B');
    ASSERT_EQ(b, m.data() + 16);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(b) + 4, 5), "first");
    EXPECT_EQ(tlv_find(m.data(), TLV_END), m.data() + m.size() - 4);
    EXPECT_EQ(tlv_find(m.data(), -18), m.data() + m.size() - 4);
    EXPECT_EQ(tlv_find(m.data(), 'C'), nullptr);
    for (Bytes header : {Bytes{0, 4, 0, 0}, Bytes{0, 0, 0, 0}, Bytes{0xFF, 0xF0, 0, 0}}) {
        EXPECT_EQ(tlv_find(header.data(), 0), nullptr);
    }

    // The value is copied only when shorter than the destination.
    char dst[9];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(sntlv_find(dst, 9, 'D', m.data()), 8u);
    EXPECT_EQ(std::string(dst, 9), "/to_peer#");  // no terminator added
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(sntlv_find(dst, 8, 'D', m.data()), 0u);
    EXPECT_EQ(std::string(dst, 9), "#########");
    EXPECT_EQ(sntlv_find(dst, sizeof dst, 'Q', m.data()), 0u);
}

TEST(TlvFind, ElementsRunningPastTheTotalLengthEndTheWalk)
{
    // The second element claims 255 value bytes; the buffer ends at the total
    // length.
    Bytes m = RawMsg(16, {{'A', "JS"}, {'B', "xy"}, {TLV_END, kEnd}});
    m[10 + 2] = 0xFF;
    EXPECT_EQ(tlv_find(m.data(), 'A'), m.data() + 4);
    EXPECT_EQ(tlv_find(m.data(), 'B'), nullptr);
    EXPECT_EQ(tlv_find(m.data(), TLV_END), nullptr);

    // A total length that stops inside an element head.
    Bytes cut = RawMsg(16, {{'A', "JS"}});
    cut.insert(cut.end(), {0, 0});
    cut[1] = static_cast<uint8_t>(cut.size());
    EXPECT_EQ(tlv_find(cut.data(), 0), nullptr);
    uint8_t dst[8];
    EXPECT_EQ(sntlv_find(dst, sizeof dst, 0, cut.data()), 0u);
}

TEST(TlvEdit, VoidBlanksFirstElementAndKeepsLayout)
{
    Bytes m = RawMsg(16, {{'B', "one"}, {'B', "two"}, {TLV_END, kEnd}});
    Bytes before = m;
    sntlv_void(m.data(), 'B');
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 4), Bytes(before.begin(), before.begin() + 4));
    EXPECT_EQ(Bytes(m.begin() + 4, m.begin() + 11), (Bytes{0, 0, 3, 'X', 0, 0, 0}));
    EXPECT_EQ(Bytes(m.begin() + 11, m.end()), Bytes(before.begin() + 11, before.end()));
    EXPECT_EQ(tlv_find(m.data(), 'B'), m.data() + 11);  // the second one now
}

TEST(TlvEdit, RemovingTheEndElementLetsTheMessageGrowValidAgain)
{
    uint8_t m[ZTMSG_MAX];
    const Bytes request = RawMsg(17, Request());
    memcpy(m, request.data(), request.size());
    const int len = static_cast<int>(request.size());

    EXPECT_EQ(sntlv_remove(m, sizeof m, -18), -4);
    EXPECT_EQ(sntlv_msg_len(m), len - 4);
    EXPECT_EQ(tlv_find(m, TLV_END), nullptr);
    sntlv_add_dat(m, sizeof m, TLV_RSPARG, 4, 0);
    sntlv_add_bin(m, sizeof m, TLV_END, 0, nullptr);
    EXPECT_EQ(sntlv_msg_len(m), len + 8);
    g_debug_level = 0;
    EXPECT_EQ(tlv_validate(m), 0);
}

TEST(TlvEdit, VoidOrRemoveOfMissingElementAborts)
{
    Bytes m = RawMsg(16, {{'A', "JS"}, {TLV_END, kEnd}});
    struct Case {
        std::function<void()> call;
        const char *cond;
    } cases[] = {{[&] { sntlv_void(m.data(), 'B'); }, ":tlv != NULL\n"},
                 {[&] { sntlv_remove(m.data(), m.size(), 'B'); }, ":tlvend != NULL\n"}};
    for (const auto &c : cases) {
        auto child = zt_test::RunInChild([&] {
            g_debug_level = 8;
            zt_test::CaptureSyslogAt(LOG_DEBUG);
            c.call();
        });
        EXPECT_TRUE(child.killedBy(SIGABRT));
        EXPECT_NE(child.err.find(c.cond), std::string::npos) << child.err;
    }
}

Bytes WithByte(Bytes m, size_t at, uint8_t value)
{
    m.at(at) = value;
    return m;
}

// A request whose total length stops inside an element head.
Bytes CutHead()
{
    Bytes m = RawMsg(16, Request());
    m.insert(m.end(), {0, 0});
    m[1] = static_cast<uint8_t>(m.size());
    return m;
}

TEST(TlvValidate, ReportsEachFaultWithItsTextAndResultInCheckOrder)
{
    const Bytes request = RawMsg(16, Request());
    const std::string overshoot = "TLV_ERROR: MSG length (" + std::to_string(request.size() - 3) +
                                  ") does not match internal length (" +
                                  std::to_string(request.size() - 4) + "0.\n";
    struct Case {
        const char *fault;
        Bytes msg;
        int result;
        const char *report;  // nullptr: any text
    } cases[] = {
        {"well-formed request", request, 0, ""},
        // Only the 4 header bytes exist; reading further would be caught.
        {"short", Bytes{0, 17, 0, 250}, -1, "TLV_ERROR: MSG len is too short (17 < 18)\n"},
        {"negative length", Bytes{0xFF, 0xFE, 0, 0}, -1,
         "TLV_ERROR: MSG len is too short (-2 < 18)\n"},
        {"long", Bytes{0x05, 0xDD, 0, 0}, -1, "TLV_ERROR: MSG len is too long (1501 > 1500)\n"},
        // The end element claims one byte: the sum overshoots by one.
        {"element lengths overshoot", WithByte(request, request.size() - 2, 1), -1,
         overshoot.c_str()},
        {"element runs far past the buffer", WithByte(request, 4 + 1, 0x40), -1, nullptr},
        {"total length stops inside an element head", CutHead(), -1, nullptr},
        {"last element not the end",
         RawMsg(16, {{'A', "JS"}, {'C', "/d"}, {'D', "/s"}, {'B', "x"}}), -1,
         "TLV_ERROR: MSG is missing ending TLV: 0xEE\n"},
        // An 0xEE value byte at the very end is not an end element.
        {"0xEE only as value byte",
         RawMsg(16, {{'A', "JS"}, {'C', "/d"}, {'D', "/s"}, {'B', "\xEE"}}), -1,
         "TLV_ERROR: :JS MSG has too many ending TLV: 0xEE\n"},
        {"no command, wrong category too", RawMsg(240, Without(Request(), TLV_CMD)), -3,
         "TLV_ERROR: MSG needs a CMD\n"},
        {"no destination", RawMsg(240, Without(Request(), TLV_DST)), -3,
         "TLV_ERROR: :JS MSG needs a DST\n"},
        {"no source", RawMsg(16, Without(Request(), TLV_SRC)), -3,
         "TLV_ERROR: :JS MSG needs a SRC\n"},
        // The command is reported as text up to its first zero.
        {"command text", RawMsg(16, {{'A', "ABCD"}, {'C', "/d"}, {0xEE, ""}}), -3,
         "TLV_ERROR: :ABCD MSG needs a SRC\n"},
        {"binary command",
         RawMsg(16, {{'A', std::string("\x03\x00\x00\x00", 4)}, {'C', "/d"}, {0xEE, ""}}), -3,
         "TLV_ERROR: :\x03 MSG needs a SRC\n"},
        {"two end elements",
         RawMsg(240, {{'A', "JS"}, {'C', "/d"}, {'D', "/s"}, {0xEE, ""}, {0xEE, ""}}), -1,
         "TLV_ERROR: :JS MSG has too many ending TLV: 0xEE\n"},
        {"unknown category before missing argument", RawMsg(240, Without(Request(), TLV_CMDARG)),
         -2, "TLV_ERROR: :JS MSG needs a known CATagory. CAT=0xf0\n"},
        {"request without argument", RawMsg(16, Without(Request(), TLV_CMDARG)), -3,
         "TLV_ERROR: MSG :JS CMD needs a CMDARG\n"},
        {"answer without argument", RawMsg(17, Without(Request(), TLV_CMDARG)), -3,
         "TLV_ERROR: MSG :JS RSP needs a CMDARG\n"},
        {"answer without answer argument", RawMsg(17, Request()), 0,
         "TLV_WARNING: MSG :JS RSP needs a RSPARG fr_peer /to_ztCtlD\n"},
        {"short source name",
         RawMsg(17, {{'A', "JS"}, {'C', "/d"}, {'D', "/s"}, {'B', "x"}, {0xEE, ""}}), 0,
         "TLV_WARNING: MSG :JS RSP needs a RSPARG fr /d\n"},
        {"answer with both arguments",
         RawMsg(239, {{'A', "JS"}, {'C', "/d"}, {'D', "/s"}, {'B', "x"}, {'E', "y"}, {0xEE, ""}}),
         0, ""},
    };
    for (const auto &c : cases) {
        Validation v = Validate(c.msg);
        EXPECT_EQ(v.result, c.result) << c.fault;
        if (c.report != nullptr) {
            EXPECT_EQ(v.report, c.report) << c.fault;
        }
    }
}

TEST(TlvValidate, ReportsOnlyAboveVerbosity15)
{
    Bytes bad = RawMsg(16, Without(Request(), TLV_CMD));
    Validation quiet = Validate(bad, 15);
    EXPECT_EQ(quiet.result, -3);
    EXPECT_EQ(quiet.report, "");
    EXPECT_EQ(Validate(bad, 16).report, "TLV_ERROR: MSG needs a CMD\n");
}

TEST(TlvValidate, CorruptedMessagesNeverReadOutsideTheirBuffer)
{
    // Random corruptions of a valid message, each in a buffer of exactly its
    // header length; the sanitizer build turns any stray read into a failure.
    g_debug_level = 0;
    std::mt19937 rng(20261205);
    const Bytes good = RawMsg(17, Request());
    for (int round = 0; round < 20000; round++) {
        Bytes m = good;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; i++)
            m[4 + rng() % (m.size() - 4)] = static_cast<uint8_t>(rng());
        if (rng() % 8 == 0)
            m.resize(4 + rng() % (m.size() - 4));
        m[0] = static_cast<uint8_t>(m.size() >> 8);
        m[1] = static_cast<uint8_t>(m.size());
        std::unique_ptr<uint8_t[]> exact(new uint8_t[m.size()]);
        memcpy(exact.get(), m.data(), m.size());
        int r = tlv_validate(exact.get());
        ASSERT_TRUE(r == 0 || r == -1 || r == -2 || r == -3);
        for (int type : {int{TLV_CMD}, int{TLV_CMDARG}, int{TLV_DST}, int{TLV_SRC}, int{TLV_RSPARG},
                         TLV_END, 0}) {
            const uint8_t *e = tlv_find(exact.get(), type);
            if (e != nullptr) {
                ASSERT_LE(e + 4 + ((e[1] << 8) | e[2]), exact.get() + m.size());
            }
        }
    }
}

TEST(TlvBytes, ItoIAndBinWriteOnlyWhatFitsMostSignificantFirst)
{
    uint8_t buf[5];
    memset(buf, 0xAA, sizeof buf);
    const uint8_t src[5] = {5, 6, 7, 8, 9};
    EXPECT_EQ(snLoclItoI(buf, 5, 0, 1), 0u);
    EXPECT_EQ(snLoclItoI(buf, 5, 5, 1), 0u);
    EXPECT_EQ(snLoclbin(buf, 4, 0, src), 0u);
    EXPECT_EQ(snLoclbin(buf, 4, 5, src), 0u);
    EXPECT_EQ(Bytes(buf, buf + 5), Bytes(5, 0xAA));

    EXPECT_EQ(snLoclItoI(buf, 5, 2, 0x1234), 2u);
    EXPECT_EQ(Bytes(buf, buf + 2), (Bytes{0x12, 0x34}));
    EXPECT_EQ(snLoclItoI(buf, 5, 4, 0x01020304), 4u);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(snLoclbin(buf, 4, 4, src), 4u);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{5, 6, 7, 8}));
}

}  // namespace
