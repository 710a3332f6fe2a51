// ztctl watch: the readable form of notifications, and the real binary as a
// message-queue client of a stand-in daemon that owns "/to_ztCtlD" in this
// test's IPC namespace (registration, printing, unregistration on Ctrl-C).
#include <signal.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "ClientMessages.h"
#include "DaemonHarness.h"
#include "NotifyWatcher.h"
#include "ztctlTestSupport.h"

namespace {

using namespace std::chrono_literals;
using ztctl::NotifyWatcher;
using ztctltest::Bytes;
using ztctltest::daemonMessage;
using ztctltest::element;

TEST(WatchFormat, EachKindGetsItsTitleAndLosesTheDaemonsLineBreaks)
{
    const std::pair<std::string, std::string> cases[] = {
        // A full state is split into its status and settings objects.
        {"{\"1\":1,\"2\":3,\n\"2\":9,\"193\":0}",
         "--- t  full state\n{\n  \"status\": {\n    \"1\": 1,\n    \"2\": 3\n  },\n"
         "  \"settings\": {\n    \"2\": 9,\n    \"193\": 0\n  }\n}\n"},
        {"{\"status\":{\"8\":1},\n\"settings\":{\"2\":4}\n}",
         "--- t  changes\n{\n  \"status\": {\n    \"8\": 1\n  },\n  \"settings\": {\n"
         "    \"2\": 4\n  }\n}\n"},
        {"{\"state\":{\n        \"shutdown_pending\":true\n    }\n}",
         "--- t  shutdown pending\n{\n  \"state\": {\n    \"shutdown_pending\": true\n  }\n}\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NotifyWatcher::formatNotification(c.first, "t"), c.second);
}

TEST(WatchFormat, StringsAndOddTextSurviveIndenting)
{
    // Braces, commas and escaped quotes inside strings are not structure.
    EXPECT_EQ(NotifyWatcher::prettyJson("{\"a\":\"x{,}\\\"y\",\"b\":{}}"),
              "{\n  \"a\": \"x{,}\\\"y\",\n  \"b\": {}\n}");
    EXPECT_EQ(NotifyWatcher::prettyJson("not json"), "not json");
    EXPECT_EQ(NotifyWatcher::prettyJson(""), "");
    // Unbalanced text is printed, not refused.
    EXPECT_EQ(NotifyWatcher::prettyJson("{}}"), "{}\n}");
}

// A notification (category 22) or answer (21) carrying `text` and its NUL.
Bytes message(uint8_t category, const std::string &text)
{
    const Bytes payload(text.c_str(), text.c_str() + text.size() + 1);
    return daemonMessage(category, 0, &payload);
}

// Receives one registration request on the stand-in's queue, checks it and
// answers 0 on the requester's queue.
void serveRegistration(mqd_t daemon, bool reg, const std::string &name)
{
    auto request = zttest::receiveMessage(daemon, 10s);
    ASSERT_TRUE(request) << "no " << (reg ? "registration" : "unregistration");
    EXPECT_EQ(element(*request, TLV_CMD), std::string(4, '\0'));
    EXPECT_EQ(
        element(*request, TLV_CMDARG),
        std::string(1, reg ? '\1' : '\0') + std::string(3, '\0') + name + std::string(1, '\0'));
    const Bytes answer = daemonMessage(21, 0);
    EXPECT_TRUE(zttest::sendRaw(answer.data(), answer.size(), 1000, element(*request, TLV_SRC)));
}

TEST(WatchProcess, QueueClientRegistersPrintsAndUnregistersOnInterrupt)
{
    mq_unlink(zttest::kCommandQueue);
    mqd_t daemon = zttest::createQueue(zttest::kCommandQueue, 5);
    ASSERT_NE(daemon, (mqd_t)-1);
    const std::string name = zttest::uniqueQueueName("watch");
    zttest::ChildProcess ztctl;
    ASSERT_TRUE(ztctl.start(zttest::DaemonHarness::binDir() + "/ztctl",
                            {"watch", "--queue", name, "--raw"}));
    serveRegistration(daemon, true, name);
    ASSERT_TRUE(zttest::queueExists(name));

    const std::string full = "{\"1\":1,\n\"2\":9}";
    const std::string change = "{\"status\":{\"8\":1}}";
    for (const std::string *text : {&full, &change}) {
        const Bytes event = message(22, *text);
        ASSERT_TRUE(zttest::sendRaw(event.data(), event.size(), 1000, name));
    }
    const Bytes notAnEvent = message(21, change);  // skipped, not printed
    ASSERT_TRUE(zttest::sendRaw(notAnEvent.data(), notAnEvent.size(), 1000, name));
    ASSERT_TRUE(ztctl.waitForOutput(change + "\n", 10s)) << ztctl.output();

    ASSERT_TRUE(ztctl.signal(SIGINT));
    serveRegistration(daemon, false, name);
    ASSERT_FALSE(HasFailure()) << ztctl.output();
    auto status = ztctl.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->ok()) << status->describe() << ztctl.output();
    EXPECT_EQ(ztctl.output(), full + "\n" + change + "\n");
    EXPECT_FALSE(zttest::queueExists(name)) << "the watch queue was left behind";
    mq_close(daemon);
    mq_unlink(zttest::kCommandQueue);
}

}  // namespace
