// Command server, status and settings polling of the worker loop: one pass
// reads the camera's status and settings blocks, corrects them
// (CameraState::modSettingsAndStatuses), compares
// them with the cached copies and pushes the differences as one JSON text to
// the notification clients; new clients get the whole state instead. Nothing
// is read while no client listens, so an unwatched camera stays quiet.
#include <sys/time.h>

#include <string>

#include "camera_status.h"
#include "utils.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

// Status byte telling that a contextual menu is shown.
constexpr size_t kContextualMenuByte = 223;

constexpr const char *kShutdownPendingBody =
    "\"state\":{\n        \"shutdown_pending\":true\n    }\n";

// Whole seconds from `then` to `now`, borrowing a second when the
// microseconds went backwards.
long elapsedSeconds(const struct timeval &then, const struct timeval &now)
{
    long seconds = static_cast<long>(now.tv_sec - then.tv_sec);
    if (now.tv_usec < then.tv_usec)
        --seconds;
    return seconds;
}

// The text of a message: "{", body, "}" and the NUL the length counts.
void frame(std::stringstream &message, const std::string &body)
{
    message << '{' << body << '}' << '\0';
}

}  // namespace

bool ZtcontrolCommandServer::anyClientListening()
{
    Lock hold(m_clientsMutex);
    for (NotificationClient *client : m_notificationClients)
        if (client && !client->isPaused())
            return true;
    return false;
}

std::string ZtcontrolCommandServer::buildChangeBody(const all_status_settings_t &block,
                                                    uint8_t model)
{
    // Class-2 statuses (counters and gauges) are compared at most once a
    // second, against the block of the previous throttled comparison, so
    // their changes accumulate between reports instead of being lost.
    std::stringstream throttled;
    int throttledCount = 0;
    struct timeval now {};
    gettimeofday(&now, nullptr);
    const bool never = m_lastThrottleTime.tv_sec == 0 && m_lastThrottleTime.tv_usec == 0;
    // A clock set back (the date command) counts as due, or these statuses
    // would go unreported until the clock reached the old time again.
    const long elapsed = elapsedSeconds(m_lastThrottleTime, now);
    if (never || elapsed >= 1 || elapsed < 0) {
        m_lastThrottleTime = now;
        throttledCount = camera_status_serialize_status_changes_to_json(
            throttled, CAMERA_STATUS_CLASS_THROTTLED, &block, &m_throttleSnapshot, model,
            &m_bossCache);
        m_throttleSnapshot = block;
    }

    std::stringstream everyPass;
    const int everyPassCount = camera_status_serialize_status_changes_to_json(
        everyPass, CAMERA_STATUS_CLASS_EVERY_POLL, &block, &m_statusCache, model, &m_bossCache);

    std::string body;
    std::string separator;
    if (throttledCount + everyPassCount > 0) {
        body = "\"status\":{" + throttled.str();
        if (throttledCount >= 1 && everyPassCount >= 1)
            body += ',';
        body += everyPass.str() + "}";
        separator = ",\n";
    }

    std::stringstream settings;
    if (camera_status_serialize_settings_changes_to_json(settings, &block, &m_statusCache, model) >
        0)
        body += separator + "\"settings\":{" + settings.str() + "}\n";

    m_statusCache = block;
    return body;
}

void ZtcontrolCommandServer::pollStatusSettingsAndNotify()
{
    if (!anyClientListening()) {
        if (!m_interfaceOpen)
            ZTLOG(ZT_LOG_ERROR, "protocol adapter not set - throwing out command");
        return;
    }
    if (!m_interfaceOpen) {
        ZTLOG(ZT_LOG_ERROR, "protocol adapter not set - throwing out command");
        return;
    }
    ZTLOG(ZT_LOG_INFO, "pollStatusSettingsAndNotify:");

    Lock command(m_commandMutex);
    // Taken only once someone listens: while the model cannot be read, each
    // attempt is a camera-state request and an error line. Under the lock,
    // as the timer thread's preset edits read the same cache.
    const uint8_t model = GetCameraModel();
    all_status_settings_t block{};
    bool shutdownPass = false;
    int status = 0;
    uint16_t length = 0;

    switch (readRemoteBlock(m_cameraContext, kSystemCategory, kAllStatusGet, block.status.raw,
                            sizeof(block.status.raw), BlockFit::Exact, status, length)) {
    case BlockRead::Failed:
        ZTLOG(ZT_LOG_ERROR,
              "Polling for status (REMOTE_SYSTEM_ALL_STATUS_GET) failed with error, %d", status);
        return;
    case BlockRead::Refused:
        ZTLOG(ZT_LOG_DEBUG,
              "Polling REMOTE_SYSTEM_ALL_STATUS_GET Camera status returning ZT_ERR_NACK_OFF");
        shutdownPass = true;
        break;
    case BlockRead::WrongSize:
        ZTLOG(ZT_LOG_ERROR, "status_all size:%d does not match rsp size=%d",
              CAMERA_STATUS_BLOCK_SIZE, (int)length);
        return;
    case BlockRead::Good:
        m_state.m_inContextualMenu = block.status.raw[kContextualMenuByte];
        break;
    }

    if (!shutdownPass) {
        switch (readRemoteBlock(m_cameraContext, kSetupCategory, kAllSettingsGet,
                                block.settings.raw, sizeof(block.settings.raw), BlockFit::Exact,
                                status, length)) {
        case BlockRead::Failed:
            ZTLOG(ZT_LOG_ERROR,
                  "Polling for settings (REMOTE_SETUP_ALL_SETTINGS_GET) error, %d @ %s:%d", status,
                  __FILE__, __LINE__);
            return;
        case BlockRead::Refused:
            ZTLOG(
                ZT_LOG_DEBUG,
                "Polling REMOTE_SETUP_ALL_SETTINGS_GET Camera settings returning ZT_ERR_NACK_OFF");
            shutdownPass = true;
            break;
        case BlockRead::WrongSize:
            ZTLOG(ZT_LOG_ERROR, "ASSERT ERROR - settings_all size does not match rsp size=%d",
                  (int)length);
            return;
        case BlockRead::Good:
            break;
        }
    }

    // A shutdown pass reports no values, so its half-read block is neither
    // corrected (which would cost firmware traffic) nor cached.
    std::string body;
    if (shutdownPass) {
        body = kShutdownPendingBody;
    } else {
        m_state.modSettingsAndStatuses(block);
        body = buildChangeBody(block, model);
    }
    const NotificationClient::eNotificationType_t type =
        shutdownPass ? NotificationClient::NOTIFICATION_TYPE_SHUTDOWN_PENDING
                     : NotificationClient::NOTIFICATION_TYPE_STATE;

    Lock clients(m_clientsMutex);
    if (!body.empty()) {
        std::stringstream message;
        frame(message, body);
        deliverToClients(type, message, shutdownPass ? Recipients::All : Recipients::NotNew);
    }
    if (shutdownPass)
        return;
    bool anyNew = false;
    for (NotificationClient *client : m_notificationClients)
        anyNew = anyNew || (client && client->isNew());
    if (!anyNew)
        return;
    std::stringstream full;
    full << '{';
    camera_status_serialize_status_to_json(full, &m_statusCache.status, model);
    full << ",\n";
    camera_settings_serialize_to_json(full, &m_statusCache.settings, &m_statusCache.status,
                                      &m_statusCache.system, model);
    full << '}' << '\0';
    deliverToClients(NotificationClient::NOTIFICATION_TYPE_STATE, full, Recipients::OnlyNew);
}

void ZtcontrolCommandServer::initializeStatusVariables()
{
    const uint8_t model = m_state.initialize();
    camera_status_init_bossCache(model, &m_bossCache);
}
