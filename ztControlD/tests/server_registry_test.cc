// The command server's "status=" switch inside the test process: it acts on
// socket clients only and takes only 0 or 1. Fake clients stand in for
// sockets and queues.
#include <gtest/gtest.h>

#include <string>

#include "ztcontrol_if_server.h"

namespace {

class FakeClient : public NotificationClient {
public:
    explicit FakeClient(uint32_t type) : NotificationClient(type) {}
    bool Notify(eNotificationType_t, std::stringstream &) override { return true; }
};

TEST(ServerRegistry, StatusSwitchActsOnSocketClientsOnlyAndTakesOnlyZeroOrOne)
{
    ZtcontrolCommandServer *server = ZtcontrolCommandServer::getInstance();
    auto *socketA = new FakeClient(NotificationClient::CLIENT_TYPE_SOCKET);
    auto *queue = new FakeClient(NotificationClient::CLIENT_TYPE_MQUEUE);
    auto *socketB = new FakeClient(NotificationClient::CLIENT_TYPE_SOCKET);
    for (FakeClient *client : {socketA, queue, socketB})
        ASSERT_TRUE(server->addNotificationClient(client));
    const auto configure = [server](std::string params) {
        return server->ConfigureSocketNotifications(reinterpret_cast<unsigned char *>(&params[0]));
    };

    EXPECT_EQ(configure("status=1"), ZT_OK);
    EXPECT_FALSE(socketA->isPaused());
    EXPECT_FALSE(socketB->isPaused());
    EXPECT_TRUE(queue->isPaused());
    EXPECT_EQ(server->activeClientCount(), 2u);
    EXPECT_EQ(configure("status="), ZT_OK) << "an empty value reads as 0";
    EXPECT_TRUE(socketA->isPaused());
    // Values other than 0 or 1 are refused without effect.
    for (const char *bad : {"status=2", "status=-1", "mode=1", "", "status=4294967297"}) {
        EXPECT_EQ(configure(bad), ZT_ERR_INVALID_PARAM) << bad;
        EXPECT_TRUE(socketA->isPaused()) << bad;
    }
    EXPECT_EQ(configure("other=x&status=1"), ZT_OK);
    EXPECT_FALSE(socketA->isPaused());

    server->shutdown();  // drops every client
    ZtcontrolCommandServer::destroy();
}

}  // namespace
