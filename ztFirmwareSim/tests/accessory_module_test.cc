// The simulated accessory module: access point commands, scans and their
// list answers, saved networks and pairing, including payloads that lie
// about their own lengths.
#include "accessory_module.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ztsim {
namespace {

// The 128-byte network payload: byte 0 flag, byte 1 127, byte 2 auth type,
// SSID at 4, password at 37.
Bytes network(const char* ssid, const char* password = "", uint8_t flag = 1, uint8_t auth = 3) {
  Bytes b(128, 0);
  b[0] = flag;
  b[1] = 127;
  b[2] = auth;
  std::memcpy(&b[4], ssid, std::strlen(ssid));
  std::memcpy(&b[37], password, std::strlen(password));
  return b;
}

TEST(AccessoryModuleTest, AccessPointConfigTakesItsFieldsByTheirLengthsAndActionsSwitchIt) {
  AccessoryModule m;
  // Mode 0, 1, 8-byte password, 3-byte SSID; lengths that run past the
  // payload are refused and change nothing.
  Bytes p{0, 1, 8, 'p', 'a', 's', 's', 'w', 'o', 'r', 'd', 3, 'c', 'a', 'm'};
  ASSERT_EQ(m.handle("AP", p, 0).status, ZT_OK);
  EXPECT_EQ(m.handle("AP", Bytes{0, 1, 200, 'x', 1, 'y'}, 0).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(m.handle("AP", Bytes{0, 1, 1, 'x', 9, 'y'}, 0).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(m.apSsid() + "/" + m.apPassword(), "cam/password");
  // Actions: 1 and 6 switch the access point on, 3 off; bluetooth off (0x24)
  // leaves it alone; other actions and empty payloads are refused.
  const std::tuple<Bytes, int, bool> actions[] = {{{1, 0}, ZT_OK, true},
                                                  {{3, 0}, ZT_OK, false},
                                                  {{6, 0}, ZT_OK, true},
                                                  {{0x24, 0}, ZT_OK, true},
                                                  {{9, 0}, ZT_ERR_INVALID_PARAM, true},
                                                  {{}, ZT_ERR_INVALID_PARAM, true}};
  for (const auto& [payload, status, on] : actions) {
    EXPECT_EQ(m.handle("AP", payload, 0).status, status) << int(payload.empty() ? -1 : payload[0]);
    EXPECT_EQ(m.apOn(), on);
  }
  EXPECT_FALSE(m.bleOn());
}

TEST(AccessoryModuleTest, ScanAnswersItsIdAndListsOnlyAfterItFinished) {
  AccessoryModule m;
  FwAnswer start = m.handle("NI", Bytes{1, 1}, 1000);
  ASSERT_EQ(start.bytes.size(), 2u);
  EXPECT_EQ(start.bytes[0], 0);
  uint8_t id = start.bytes[1];
  EXPECT_EQ(m.handle("NI", Bytes{1, 1}, 1000).bytes[1], id + 1) << "every scan gets a new id";

  const Bytes request{0, 10, 0xFF, 0xFF, 1};
  FwAnswer busy = m.handle("al", request, 1000 + AccessoryModule::kScanDurationMs - 1);
  ASSERT_EQ(busy.bytes.size(), AccessoryModule::kListHeaderSize);
  EXPECT_NE(busy.bytes[0], 0);

  FwAnswer list = m.handle("al", request, 1000 + AccessoryModule::kScanDurationMs);
  const size_t found = m.visibleNetworks().size();
  ASSERT_EQ(list.bytes.size(),
            AccessoryModule::kListHeaderSize + found * AccessoryModule::kEntrySize);
  EXPECT_EQ(list.bytes[0], 0);
  EXPECT_EQ(list.bytes[1], id + 1);
  EXPECT_EQ(list.bytes[4], found);
  EXPECT_EQ(list.bytes[5], found);
  const uint8_t* first = list.bytes.data() + AccessoryModule::kListHeaderSize;
  EXPECT_STREQ(reinterpret_cast<const char*>(first + 2), m.visibleNetworks()[0].ssid.c_str());
  EXPECT_EQ(getU32(first + 118), m.visibleNetworks()[0].frequencyMhz);

  // Paging: from offset 2 at most one entry.
  FwAnswer page = m.handle("al", Bytes{2, 1, 0xFF, 0xFF, 1}, 5000);
  ASSERT_EQ(page.bytes.size(), AccessoryModule::kListHeaderSize + AccessoryModule::kEntrySize);
  EXPECT_STREQ(reinterpret_cast<const char*>(page.bytes.data() + 9),
               m.visibleNetworks()[2].ssid.c_str());
  // An offset past the end lists nothing; a short request still answers.
  EXPECT_EQ(m.handle("al", Bytes{200, 10}, 5000).bytes[4], 0);
  EXPECT_EQ(m.handle("al", Bytes{}, 5000).bytes[0], 0);
  // Never more than ten entries.
  for (int i = 0; i < 15; ++i)
    m.visibleNetworks().push_back({"net" + std::to_string(i), 2, true, 2412});
  m.handle("NI", Bytes{1, 1}, 10000);
  list = m.handle("al", Bytes{0, 255, 0xFF, 0xFF, 1}, 20000);
  EXPECT_EQ(list.bytes[4], AccessoryModule::kMaxListEntries);
  EXPECT_EQ(list.bytes.size(), AccessoryModule::kListHeaderSize +
                                   AccessoryModule::kMaxListEntries * AccessoryModule::kEntrySize);
}

TEST(AccessoryModuleTest, SavedNetworksConnectDeleteAndDeleteAll) {
  AccessoryModule m;
  ASSERT_EQ(m.handle("CT", network("ZT-Home", "secret"), 0).status, ZT_OK);
  ASSERT_EQ(m.handle("CL", network("CoffeeShop", "", 1, 0), 0).status, ZT_OK);
  Bytes quick{'V', 'a', 'n', 0, 'p', 'w', 0};
  ASSERT_EQ(m.handle("CQ", quick, 0).status, ZT_OK);
  ASSERT_EQ(m.saved().size(), 3u);
  EXPECT_EQ(m.saved()[0].password, "secret");
  EXPECT_EQ(m.saved()[0].authType, 3);
  EXPECT_EQ(m.saved()[2].password, "pw");
  EXPECT_EQ(m.connectedSsid(), "Van");
  // Saving a known network again updates it rather than adding it twice.
  m.handle("CT", network("ZT-Home", "other"), 0);
  EXPECT_EQ(m.saved().size(), 3u);
  EXPECT_EQ(m.saved()[0].password, "other");

  EXPECT_EQ(m.connectedSsid(), "ZT-Home");

  EXPECT_EQ(m.handle("CD", network("ZT-Home", "", 0), 0).status, ZT_OK);
  EXPECT_EQ(m.saved().size(), 2u);
  EXPECT_EQ(m.connectedSsid(), "") << "deleting the connected network disconnects";
  EXPECT_EQ(m.handle("CD", network("ZT-Home", "", 0), 0).status, ZT_ERR);
  EXPECT_EQ(m.handle("CD", network("", "", 1), 0).status, ZT_OK);
  EXPECT_TRUE(m.saved().empty());
  // Short payloads and empty names are refused.
  EXPECT_EQ(m.handle("CT", Bytes(20, 0), 0).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(m.handle("CL", network(""), 0).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(m.handle("CQ", Bytes{0}, 0).status, ZT_ERR_INVALID_PARAM);
}

TEST(AccessoryModuleTest, SsidFillingItsFieldPairingAndUnknownCommands) {
  AccessoryModule m;
  Bytes p = network("");
  std::memset(&p[4], 'A', 33);  // no NUL inside the 32-byte field
  ASSERT_EQ(m.handle("CL", p, 0).status, ZT_OK);
  EXPECT_EQ(m.saved()[0].ssid, std::string(32, 'A'));
  // Pairing cancel answers 0 only while pairing; pairing gives up by itself.
  EXPECT_EQ(m.handle("PX", {}, 0).bytes, Bytes{1});
  ASSERT_EQ(m.handle("PD", Bytes{1, 2}, 0).status, ZT_OK);
  EXPECT_TRUE(m.pairing(10));
  EXPECT_EQ(m.handle("PX", {}, 10).bytes, Bytes{0});
  EXPECT_FALSE(m.pairing(20));
  m.handle("PD", Bytes{1, 2}, 0);
  EXPECT_FALSE(m.pairing(AccessoryModule::kPairingTimeoutMs));
  // Unknown commands answer 0 without bytes.
  FwAnswer a = m.handle("ZZ", Bytes{1, 2, 3}, 0);
  EXPECT_EQ(a.status, ZT_OK);
  EXPECT_FALSE(a.hasBytes);
}

}  // namespace
}  // namespace ztsim
