// Delete lists at the size of one request, against the scripted firmware
// peer: the longest list that fits goes out whole, a longer one is refused
// before anything is sent, and a count whose byte size does not fit 32 bits
// is refused rather than wrapped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"

namespace {

class DeleteListLimit : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(ZtFirmwarePeer::openContext(&ctx));
    }
    void TearDown() override { ZtFirmwarePeer::closeContext(&ctx); }

    ZtFirmwarePeer peer;
    ztc_msg_q_context_t ctx{};
};

std::vector<file_list_item_t> items(size_t count)
{
    std::vector<file_list_item_t> list(count);
    for (size_t i = 0; i < count; ++i) {
        list[i].code = static_cast<uint8_t>(i);
        snprintf(list[i].name, sizeof list[i].name, "GX%06zu.MP4", i);
    }
    return list;
}

TEST_F(DeleteListLimit, ListFillingOneRequestIsSentWholeAndALongerOneIsRefused)
{
    // 61 items: a 1492-byte request with the default reply queue.
    const auto fits = items(61);
    ASSERT_EQ(ztc_storage_delete_list(&ctx, fits.data(), 61), 0);
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw.size(), 1492u);
    const auto &in = requests[0].payload;
    ASSERT_EQ(in.size(), 4u + 2u + 61u * 23u);
    EXPECT_EQ(std::vector<uint8_t>(in.begin(), in.begin() + 6),
              (std::vector<uint8_t>{61, 0, 0, 0, 0x7B, 0x05}));
    EXPECT_EQ(0, memcmp(in.data() + 6, fits.data(), 61 * 23));

    peer.clearRequests();
    const auto tooMany = items(62);
    EXPECT_EQ(ztc_storage_delete_list(&ctx, tooMany.data(), 62), ZT_ERR_INVALID_PARAM);
    // 23 * 186737709 is 2^32 + 11: a count whose size wraps must not pass as
    // an 11-byte list.
    EXPECT_EQ(ztc_storage_delete_list(&ctx, tooMany.data(), 186737709u), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(peer.requestCount(), 0u);
}

}  // namespace
