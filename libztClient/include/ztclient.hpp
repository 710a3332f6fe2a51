// libztClient's C++ layer: RAII owners of a client and a watch, errors as
// exceptions, and the preset commands with their protobuf messages
// (libztProtoCpp). Everything is inline over the C functions of ztclient.h.
//
//   ztclient::Client camera;
//   camera.shutter(true);
//   for (const auto &item : camera.status())
//       if (item.name && std::string(item.name) == "battery_percent") ...
#ifndef ZTCLIENT_HPP
#define ZTCLIENT_HPP

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztclient.h"
#include "ztcontrol_commands.h"

namespace ztclient {

// A failed exchange (code > 0) or a command the daemon refused (code < 0).
class Error : public std::runtime_error {
public:
    explicit Error(int code) : std::runtime_error(describe(code)), m_code(code) {}
    int code() const { return m_code; }
    static std::string describe(int code)
    {
        const char *reason = ztclient_result_reason(code);
        return std::string(ztclient_result_name(code)) + " (" + std::to_string(code) + ")" +
               (reason ? std::string(": ") + reason : std::string());
    }

private:
    int m_code;
};

inline void check(int code)
{
    if (code != 0)
        throw Error(code);
}

struct Answer {
    int32_t result = 0;
    std::vector<uint8_t> payload;
};

struct Notification {
    int kind = 0;  // ztclient_notification_kind_t
    std::vector<ztclient_item_t> items;
    std::string text;
};

// Owns one client (its reply queue). Calls may come from several threads.
class Client {
public:
    Client() { check(ztclient_open(&m_c)); }
    ~Client() { ztclient_close(m_c); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    ztclient_t *handle() const { return m_c; }
    std::string replyQueue() const { return ztclient_reply_queue(m_c); }
    void setDeadline(unsigned ms) { ztclient_set_deadline(m_c, ms); }

    // Any command; throws only when the exchange failed, not on refusal.
    Answer call(int32_t command, const std::optional<std::vector<uint8_t>> &argument = {},
                int option = -1, unsigned deadlineMs = 5000)
    {
        Answer a;
        std::vector<uint8_t> buf(ZTMSG_MAX);
        size_t length = 0;
        static const uint8_t kEmpty = 0;
        const void *arg = argument ? (argument->empty() ? &kEmpty : argument->data()) : nullptr;
        check(ztclient_call(m_c, command, arg, argument ? argument->size() : 0, option, deadlineMs,
                            &a.result, buf.data(), buf.size(), &length));
        buf.resize(length);
        a.payload = std::move(buf);
        return a;
    }

    void shutter(bool on) { check(ztclient_shutter(m_c, on)); }
    void tagRecording() { check(ztclient_tag_recording(m_c)); }
    void setMode(uint16_t flatModeOrGroup) { check(ztclient_set_mode(m_c, flatModeOrGroup)); }
    void setSetting(uint32_t id, uint32_t option) { check(ztclient_set_setting(m_c, id, option)); }
    bool busy()
    {
        int b = 0;
        check(ztclient_busy(m_c, &b));
        return b != 0;
    }
    std::vector<ztclient_item_t> status() { return items(ztclient_get_status); }
    std::vector<ztclient_item_t> settings() { return items(ztclient_get_settings); }
    std::vector<ztclient_item_t> state() { return items(ztclient_get_state); }
    // The value of a status item by name; nothing when the camera has none.
    std::optional<int32_t> statusValue(const std::string &name)
    {
        for (const ztclient_item_t &i : status())
            if (i.name && name == i.name)
                return i.value;
        return std::nullopt;
    }
    void stopDaemon() { check(ztclient_stop_daemon(m_c)); }

    // Presets, as the daemon's protobuf messages.
    wsdk_commands::WSDK_NotifyPresetStatus presets()
    {
        return answerAs<wsdk_commands::WSDK_NotifyPresetStatus>(ZTCONTROL_PRESET_GET_PRESETS);
    }
    wsdk_commands::WSDK_Preset presetInfo(uint32_t id)
    {
        ztcontrol::presets::ZTC_Preset_Info_Req req;
        req.set_preset_id(id);
        return answerAs<wsdk_commands::WSDK_Preset>(ZTCONTROL_PRESET_GET_INFO, req);
    }
    uint32_t createPreset(uint32_t group, uint32_t flatMode, uint32_t icon, uint32_t title)
    {
        ztcontrol::presets::ZTC_Preset_Custom_Create_Req req;
        req.set_group_id(group);
        req.set_flat_mode(flatMode);
        req.set_preset_icon(icon);
        req.set_preset_name(title);
        req.set_preset_name_iterator(0);
        return answerAs<wsdk_commands::WSDK_ResponseCreateCustomPreset>(
                   ZTCONTROL_PRESET_CUSTOM_CREATE, req)
            .preset_id();
    }
    void loadPreset(uint32_t id)
    {
        ztcontrol::presets::ZTC_Preset_Load_Req req;
        req.set_preset_id(id);
        check(call(ZTCONTROL_PRESET_LOAD, bytesOf(req)).result);
    }
    void removePreset(uint32_t id)
    {
        ztcontrol::presets::ZTC_Preset_Custom_Remove_Req req;
        req.set_preset_id(id);
        check(call(ZTCONTROL_PRESET_CUSTOM_REMOVE, bytesOf(req)).result);
    }
    uint32_t activePreset()
    {
        uint32_t id = 0;
        check(ztclient_active_preset(m_c, &id));
        return id;
    }

private:
    static std::vector<uint8_t> bytesOf(const google::protobuf::MessageLite &message)
    {
        const std::string bytes = message.SerializeAsString();
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    template <typename Message>
    Message answerAs(int32_t command, const google::protobuf::MessageLite *request = nullptr)
    {
        const Answer a =
            call(command,
                 request ? std::optional<std::vector<uint8_t>>(bytesOf(*request)) : std::nullopt);
        check(a.result);
        Message m;
        if (!m.ParseFromArray(a.payload.data(), static_cast<int>(a.payload.size())))
            throw Error(ZTCLIENT_BAD_ANSWER);
        return m;
    }
    template <typename Message>
    Message answerAs(int32_t command, const google::protobuf::MessageLite &request)
    {
        return answerAs<Message>(command, &request);
    }

    std::vector<ztclient_item_t> items(int (*get)(ztclient_t *, ztclient_item_t *, size_t,
                                                  size_t *))
    {
        std::vector<ztclient_item_t> out(256);
        size_t count = 0;
        check(get(m_c, out.data(), out.size(), &count));
        out.resize(count < out.size() ? count : out.size());
        return out;
    }

    ztclient_t *m_c = nullptr;
};

// Owns one watch of a client's notifications (TCP port or registered queue).
class Watch {
public:
    enum Via { kTcp, kQueue };
    explicit Watch(Client &client, Via via = kTcp, unsigned deadlineMs = 5000)
    {
        check(via == kTcp ? ztclient_watch_tcp(client.handle(), 0, deadlineMs, &m_w)
                          : ztclient_watch_queue(client.handle(), deadlineMs, &m_w));
    }
    ~Watch() { ztclient_watch_close(m_w); }
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;

    // The next notification within timeoutMs; nothing on time-out. Throws
    // when the daemon closed the connection or sent something else.
    std::optional<Notification> next(unsigned timeoutMs)
    {
        ztclient_notification_t n{};
        const int rc = ztclient_watch_next(m_w, timeoutMs, &n);
        if (rc == ZTCLIENT_TIMEOUT)
            return std::nullopt;
        check(rc);
        return Notification{n.kind, std::vector<ztclient_item_t>(n.items, n.items + n.count),
                            n.text};
    }
    int fd() const { return ztclient_watch_fd(m_w); }

private:
    ztclient_watch_t *m_w = nullptr;
};

}  // namespace ztclient

#endif  // ZTCLIENT_HPP
