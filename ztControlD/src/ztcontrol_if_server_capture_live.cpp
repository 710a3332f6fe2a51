// Command server, capture commands that talk to the firmware directly: the
// live-view exposure selection (a point of the preview picked by the user),
// quick capture and the busy status.
// Worker thread, m_commandMutex held.
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

// ZTCONTROL_LIVEVIEW_MODE_SET argument: four little-endian words.
constexpr uint16_t kLiveviewArgLength = 16;
constexpr size_t kExposureModeOffset = 0;
constexpr size_t kXOffset = 4;
constexpr size_t kYOffset = 8;
constexpr size_t kLensOffset = 12;
constexpr uint32_t kCoordinateMax = 100;  // coordinates are percentages

constexpr uint32_t kExposureReset = 0;
constexpr uint32_t kExposureSpot = 1;      // selection type 0
constexpr uint32_t kExposureRegion = 2;    // selection type 1
constexpr uint32_t kExposureLensSpot = 3;  // selection type 3, on a chosen lens
constexpr uint8_t kSingleLens = 0xFF;
constexpr unsigned kDualLensModel = 51;

// The stream orientation query answers 0 for an upside-down stream.
constexpr uint8_t kStreamInverted = 0;

}  // namespace

int ZtcontrolCommandServer::setLiveviewExposure(const MsgElement &argument)
{
    if (argument.getLength() < kLiveviewArgLength) {
        return invalidParam();
    }
    const uint8_t *bytes = argument.getData();
    const uint32_t exposureMode = readU32(bytes, kExposureModeOffset);
    uint32_t x = readU32(bytes, kXOffset);
    uint32_t y = readU32(bytes, kYOffset);
    const uint32_t lensWord = readU32(bytes, kLensOffset);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_LIVEVIEW_MODE_SET: %d", (int)exposureMode);

    if (exposureMode == kExposureReset) {
        const int result =
            ztc_send_simple_remote_api(&m_cameraContext, kLiveviewCategory, kExposureSelectReset);
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "REMOTE_LIVEVIEW_EXPOSURE_SELECT_RESET error, %d", result);
        return result;
    }
    if (x > kCoordinateMax || y > kCoordinateMax) {
        ZTLOG(ZT_LOG_ERROR, "Invalid coords x:%d y:%d", (int)x, (int)y);
        return ZT_ERR;
    }

    // The client picks the point on the picture it shows; an inverted stream
    // shows the sensor's picture turned half a turn.
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int query = ztc_send_remote_api_for_response(&m_cameraContext, kStreamCategory,
                                                       kStreamOrientationGet, &answer, &length);
    if (query == ZT_OK && answer != nullptr && length == 1) {
        if (answer[0] == kStreamInverted) {
            ZTLOG(ZT_LOG_DEBUG,
                  "Translating select pos because stream is inverted (%d -> %d, %d -> %d", (int)x,
                  (int)(kCoordinateMax - x), (int)y, (int)(kCoordinateMax - y));
            x = kCoordinateMax - x;
            y = kCoordinateMax - y;
        }
    } else {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_STREAM_ORIENTATION_GET error, %d", query);
    }

    // Payload: selection type, x, y, lens.
    uint8_t payload[4] = {0, static_cast<uint8_t>(x), static_cast<uint8_t>(y), kSingleLens};
    const unsigned model = GetCameraModel();
    const uint8_t lensMode = GetLensMode();
    bool valid = true;
    if (model == kDualLensModel) {
        payload[3] = GetLens();
        if (exposureMode == kExposureRegion && lensMode == 0) {
            payload[0] = 1;
        } else if (exposureMode == kExposureSpot && lensMode == 0) {
            payload[0] = 0;
        } else if (exposureMode == kExposureLensSpot && lensMode == 1) {
            payload[0] = 3;
            payload[3] = static_cast<uint8_t>(lensWord);
        } else {
            valid = false;
        }
    } else if (exposureMode == kExposureRegion) {
        payload[0] = 1;
    } else if (exposureMode == kExposureSpot) {
        payload[0] = 0;
    } else {
        valid = false;
    }
    if (!valid) {
        ZTLOG(ZT_LOG_ERROR, "Invalid exposure mode %d in lens_mode[%d]", (int)exposureMode,
              lensMode);
        return ZT_ERR_INVALID_PARAM;
    }
    const int result = ztc_send_remote_api_payload(&m_cameraContext, kLiveviewCategory,
                                                   kExposureSelectSet, payload, sizeof(payload));
    if (result != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_LIVEVIEW_EXPOSURE_SELECT_SET error, %d", result);
    return result;
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::quickCaptureStart(
    const MsgElement *argument)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_QUICK_CAPTURE_START");
    CommandOutcome outcome;
    if (argument == nullptr) {
        outcome.code = invalidParam();
        return outcome;
    }
    const uint8_t value = argument->getUInt8();
    outcome.code = ztc_send_remote_api_payload(&m_cameraContext, kSystemCategory,
                                               kQuickCaptureStart, &value, sizeof(value));
    if (outcome.code != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_QUICK_CAPTURE_START error, %d", outcome.code);
    return outcome;
}

// Answers the firmware's one busy byte as data.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::getBusyStatus(
    Msg &request, const MsgElement *argument)
{
    CommandOutcome outcome;
    if (argument != nullptr) {
        outcome.code = invalidParam();
        return outcome;
    }
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_BUSY_STATUS:");
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    outcome.code = ztc_send_remote_api_for_response(&m_cameraContext, kSystemCategory,
                                                    kBusyStatusGet, &answer, &length);
    if (outcome.code != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_BUSY_STATUS_GET error, %d", outcome.code);
        return outcome;
    }
    if (answer == nullptr || length != 1) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_BUSY_STATUS_GET wrong size = %d", (int)length);
        outcome.code = ZT_ERR;
        return outcome;
    }
    uint8_t busy = answer[0];
    sendResponse(request, ZT_OK, &busy, sizeof(busy));
    outcome.answered = true;
    return outcome;
}
