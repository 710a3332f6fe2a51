// A GoogleTest fixture that runs command handlers in-process, through the
// same table checks as the daemon's frame, against a scripted firmware peer:
// no daemon process, no requester queue. run() returns the handler's whole
// result (code, payload, quiet); sent() the firmware-link requests it made;
// registry() what it asked of the notification registry. Tests using it run
// NAMESPACED (the peer owns the fixed firmware queue names). Test thread only.
//
//   class Media : public zttest::HandlerFixture {};
//   TEST_F(Media, ...) { EXPECT_EQ(run(ZTCONTROL_DELETE_ALL).code, 0); ... sent() ... }
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CameraState.h"
#include "CommandHandler.h"
#include "NotificationRegistry.h"
#include "PresetEditScope.h"
#include "ztFirmwarePeer.h"

namespace zttest {

class HandlerFixture : public ::testing::Test {
protected:
    using Bytes = std::vector<uint8_t>;

    // What one command gave back.
    struct Outcome {
        int code = 0;
        Bytes payload;
        bool quiet = false;
        bool operator==(const Outcome &o) const
        {
            return code == o.code && payload == o.payload && quiet == o.quiet;
        }
    };

    // The registry commands' calls, recorded; registrations succeed unless
    // refuseRegistration is set.
    struct RecordingRegistry : NotificationRegistry {
        std::vector<std::string> calls;
        bool refuseRegistration = false;
        bool addNotificationClient(NotificationClient *) override { return false; }
        int ConfigureSocketNotifications(unsigned char *) override { return ZT_OK; }
        int registerQueueClient(const std::string &name) override
        {
            calls.push_back("register " + name);
            return refuseRegistration ? ZT_ERR : ZT_OK;
        }
        void unregisterQueueClient(const std::string &name) override
        {
            calls.push_back("unregister " + name);
        }
    };

    void SetUp() override
    {
        ASSERT_TRUE(m_peer.ok());
        ASSERT_TRUE(ZtFirmwarePeer::openContext(&m_camera));
        ztc_select_protocol_adapter(CameraState::GetCameraModel());
        pthread_mutex_init(&m_commandMutex, nullptr);
        m_state = std::make_unique<CameraState>(m_camera);
        m_edit = std::make_unique<PresetEditScope>(m_camera, *m_state, m_commandMutex);
    }
    void TearDown() override
    {
        if (m_edit)
            m_edit->stopTimer();
        m_edit.reset();
        m_state.reset();
        pthread_mutex_destroy(&m_commandMutex);
        ZtFirmwarePeer::closeContext(&m_camera);
    }

    // Runs one command as the frame does (m_commandMutex held, the option
    // byte in the camera context) and returns its result.
    Outcome run(ztcontrol_command_t command, std::optional<Bytes> arg = std::nullopt,
                uint8_t option = 1)
    {
        m_mark = m_peer.requestCount();
        MsgElement argument(TLV_CMDARG);
        if (arg)
            argument.setData(arg->data(), static_cast<uint16_t>(arg->size()));
        m_camera.option = option;
        const CommandArgs args{command, arg ? &argument : nullptr, option};
        CommandScope scope{m_camera, *m_state, *m_edit, m_registry, m_answerBuffer};
        pthread_mutex_lock(&m_commandMutex);
        const CommandResult result = runCommand(scope, args);
        pthread_mutex_unlock(&m_commandMutex);
        const uint8_t *data = static_cast<const uint8_t *>(result.data());
        return {result.code(), data ? Bytes(data, data + result.length()) : Bytes{},
                result.isQuiet()};
    }

    // Firmware-link requests ("RA", "TC", "AX"; no CSI traffic) of the last
    // run(). Handlers return only after their library calls were answered.
    std::vector<PeerRequest> sent() const
    {
        std::vector<PeerRequest> out;
        const auto all = m_peer.requests();
        for (size_t i = m_mark; i < all.size(); ++i)
            if (all[i].kind == "RA" || all[i].kind == "TC" || all[i].kind == "AX")
                out.push_back(all[i]);
        return out;
    }
    // sent() as (key, payload): "category,id" of an operation, else the typed
    // call's or module command's name; trace() only the keys.
    using Requests = std::vector<std::pair<std::string, Bytes>>;
    Requests requests() const
    {
        Requests out;
        for (const PeerRequest &r : sent())
            out.emplace_back(r.kind == "RA"
                                 ? std::to_string(r.category) + "," + std::to_string(r.identifier)
                                 : r.name,
                             r.payload);
        return out;
    }
    std::vector<std::string> trace() const
    {
        std::vector<std::string> out;
        for (const auto &r : requests())
            out.push_back(r.first);
        return out;
    }
    // The payload of the one request of the last run(), which must have the
    // key `key` (as in requests()).
    Bytes sentOnly(const std::string &key) const
    {
        const Requests all = requests();
        if (all.size() != 1 || all[0].first != key) {
            ADD_FAILURE() << "expected only the request " << key << ", got " << all.size();
            return {};
        }
        return all[0].second;
    }
    Bytes sentTyped(const std::string &function) const { return sentOnly(function); }

    ZtFirmwarePeer &peer() { return m_peer; }
    CameraState &state() { return *m_state; }
    RecordingRegistry &registry() { return m_registry; }

private:
    ZtFirmwarePeer m_peer;
    ztc_msg_q_context_t m_camera{};
    pthread_mutex_t m_commandMutex;
    std::unique_ptr<CameraState> m_state;
    std::unique_ptr<PresetEditScope> m_edit;
    RecordingRegistry m_registry;
    uint8_t m_answerBuffer[CommandScope::kAnswerBufferSize] = {};
    size_t m_mark = 0;
};

}  // namespace zttest
