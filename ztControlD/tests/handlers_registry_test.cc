// The registry commands in-process: the argument each takes, and what each
// asks of the registry.
#include "HandlerFixture.h"

namespace {

using Registry = zttest::HandlerFixture;

TEST_F(Registry, QueueRegistrationReadsFlagThenNameUpToItsNul)
{
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{1, 0, 0, 0, '/', 'q', 0, 'x'}).code, 0);
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{0, 0, 0, 0, '/', 'q'}).code, 0);
    registry().refuseRegistration = true;
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{2, 0, 0, 0, '/', 'r'}).code, ZT_ERR);
    EXPECT_EQ(registry().calls,
              (std::vector<std::string>{"register /q", "unregister /q", "register /r"}));
}

TEST_F(Registry, ShortArgumentsAreRefusedBeforeTheRegistryIsAsked)
{
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{1, 0, 0}).code, ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE).code, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(registry().calls.empty());
}

TEST_F(Registry, PushSwitchPassesItsTextWithoutTheWireNul)
{
    const std::string text = "status=1";
    EXPECT_EQ(run(ZTCONTROL_PUSH_NOTIFICATIONS, Bytes(text.begin(), text.end())).code, 0);
    EXPECT_EQ(registry().calls, (std::vector<std::string>{"configure status=1"}));
}

}  // namespace
