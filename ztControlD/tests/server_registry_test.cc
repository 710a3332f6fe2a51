// The command server's "status=" switch inside the test process: it acts on
// socket clients only. Fake clients stand in for sockets and queues.
#include <gtest/gtest.h>

#include <string>

#include "ztcontrol_if_server.h"

namespace {

class FakeClient : public NotificationClient {
public:
    explicit FakeClient(uint32_t type) : NotificationClient(type) {}
    bool Notify(eNotificationType_t, std::stringstream &) override { return true; }
};

// The values it takes and refuses are answered in the golden sessions.
TEST(ServerRegistry, StatusSwitchActsOnSocketClientsOnly)
{
    ZtcontrolCommandServer *server = ZtcontrolCommandServer::getInstance();
    auto *socket = new FakeClient(NotificationClient::CLIENT_TYPE_SOCKET);
    auto *queue = new FakeClient(NotificationClient::CLIENT_TYPE_MQUEUE);
    ASSERT_TRUE(server->addNotificationClient(socket));
    ASSERT_TRUE(server->addNotificationClient(queue));
    std::string on = "status=1";
    EXPECT_EQ(server->ConfigureSocketNotifications(reinterpret_cast<unsigned char *>(&on[0])),
              ZT_OK);
    EXPECT_FALSE(socket->isPaused());
    EXPECT_TRUE(queue->isPaused());
    EXPECT_EQ(server->activeClientCount(), 1u);

    server->shutdown();  // drops every client
    ZtcontrolCommandServer::destroy();
}

}  // namespace
