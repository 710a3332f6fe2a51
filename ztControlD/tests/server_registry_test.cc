// The command server's registry of notification clients inside the test
// process: the limit of ten, switching socket clients with "status=", and
// fan-out that drops failing clients while keeping the others in order and
// offers change messages and the full state to the right clients.
// Fake clients stand in for sockets and queues; they only record calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ztcontrol_if_server.h"

namespace {

class FakeClient : public NotificationClient {
public:
    FakeClient(uint32_t type, std::vector<std::string> &log, std::string name, bool failing = false)
        : NotificationClient(type), m_log(log), m_name(std::move(name)), m_failing(failing)
    {
    }
    ~FakeClient() override { m_log.push_back("destroyed " + m_name); }
    bool Notify(eNotificationType_t, std::stringstream &) override
    {
        m_log.push_back("notified " + m_name);
        if (!m_failing)
            m_isNew = false;  // as every client does after a delivery
        return !m_failing;
    }

private:
    std::vector<std::string> &m_log;
    std::string m_name;
    bool m_failing;
};

class ServerRegistry : public ::testing::Test {
protected:
    void SetUp() override { m_server = ZtcontrolCommandServer::getInstance(); }
    void TearDown() override
    {
        m_server->shutdown();  // drops every client
        ZtcontrolCommandServer::destroy();
    }

    FakeClient *add(uint32_t type, const std::string &name, bool failing = false)
    {
        auto *client = new FakeClient(type, m_log, name, failing);
        if (!m_server->addNotificationClient(client)) {
            delete client;
            return nullptr;
        }
        return client;
    }

    int configure(const char *text)
    {
        std::string params(text);
        return m_server->ConfigureSocketNotifications(
            reinterpret_cast<unsigned char *>(&params[0]));
    }

    // No worker thread runs here, so the walk may go without the clients lock.
    size_t deliver(std::stringstream &message, ZtcontrolCommandServer::Recipients recipients)
    {
        return m_server->deliverToClients(NotificationClient::NOTIFICATION_TYPE_STATE, message,
                                          recipients);
    }

    std::vector<std::string> m_log;
    ZtcontrolCommandServer *m_server = nullptr;
};

using Recipients = ZtcontrolCommandServer::Recipients;

constexpr uint32_t kSocket = NotificationClient::CLIENT_TYPE_SOCKET;
constexpr uint32_t kQueue = NotificationClient::CLIENT_TYPE_MQUEUE;

TEST_F(ServerRegistry, EleventhClientIsRefusedAndStaysWithTheCaller)
{
    for (int i = 0; i < 10; ++i)
        ASSERT_NE(add(i % 2 ? kSocket : kQueue, "c" + std::to_string(i)), nullptr);
    EXPECT_EQ(add(kSocket, "eleventh"), nullptr);
    EXPECT_EQ(m_server->clientCount(), 10u);
    // The refused client was destroyed by its owner, not by the registry.
    EXPECT_EQ(m_log, std::vector<std::string>{"destroyed eleventh"});
}

TEST_F(ServerRegistry, StatusSwitchActsOnSocketClientsOnlyAndTakesOnlyZeroOrOne)
{
    FakeClient *socketA = add(kSocket, "a");
    FakeClient *queue = add(kQueue, "q");
    FakeClient *socketB = add(kSocket, "b");
    ASSERT_TRUE(socketA && queue && socketB);

    EXPECT_EQ(configure("status=1"), ZT_OK);
    EXPECT_FALSE(socketA->isPaused());
    EXPECT_FALSE(socketB->isPaused());
    EXPECT_TRUE(queue->isPaused());
    EXPECT_EQ(m_server->activeClientCount(), 2u);

    EXPECT_EQ(configure("status="), ZT_OK) << "an empty value reads as 0";
    EXPECT_TRUE(socketA->isPaused());
    EXPECT_TRUE(socketA->isNew()) << "pausing must make the client take the full state again";

    // Values other than 0 or 1 are refused without effect.
    for (const char *bad : {"status=2", "status=-1", "mode=1", "", "status=4294967297"}) {
        EXPECT_EQ(configure(bad), ZT_ERR_INVALID_PARAM) << bad;
        EXPECT_TRUE(socketA->isPaused()) << bad;
    }
    EXPECT_EQ(configure("other=x&status=1"), ZT_OK);
    EXPECT_FALSE(socketA->isPaused());
}

TEST_F(ServerRegistry, FailingClientsAreDroppedAndTheRestKeepTheirOrder)
{
    add(kSocket, "a");
    add(kSocket, "bad1", true);
    add(kSocket, "bad2", true);
    add(kQueue, "b");
    std::stringstream message("{}");
    EXPECT_EQ(deliver(message, Recipients::All), 2u);
    EXPECT_EQ(m_log, (std::vector<std::string>{"notified a", "notified bad1", "destroyed bad1",
                                               "notified bad2", "destroyed bad2", "notified b"}));
    m_log.clear();
    EXPECT_EQ(deliver(message, Recipients::All), 0u);
    EXPECT_EQ(m_log, (std::vector<std::string>{"notified a", "notified b"}));
    EXPECT_EQ(m_server->clientCount(), 2u);
}

TEST_F(ServerRegistry, ChangeMessagesSkipNewClientsAndTheFullStateReachesOnlyThem)
{
    add(kSocket, "old");
    std::stringstream message("{}");
    ASSERT_EQ(deliver(message, Recipients::All), 0u);
    add(kQueue, "new");
    m_log.clear();
    EXPECT_EQ(deliver(message, Recipients::NotNew), 0u);
    EXPECT_EQ(m_log, std::vector<std::string>{"notified old"});
    m_log.clear();
    EXPECT_EQ(deliver(message, Recipients::OnlyNew), 0u);
    EXPECT_EQ(m_log, std::vector<std::string>{"notified new"});
}

}  // namespace
