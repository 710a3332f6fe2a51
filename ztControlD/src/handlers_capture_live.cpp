// Capture commands that talk to the firmware directly: the live-view
// exposure selection (a point of the preview picked by the user), quick
// capture and the busy status. Worker thread, m_commandMutex held.
#include "CameraState.h"
#include "CommandHandler.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_remote_ops.h"

namespace {

constexpr uint32_t kCoordinateMax = 100;  // coordinates are percentages

constexpr uint32_t kExposureReset = 0;
constexpr uint32_t kExposureSpot = 1;      // selection type 0
constexpr uint32_t kExposureRegion = 2;    // selection type 1
constexpr uint32_t kExposureLensSpot = 3;  // selection type 3, on a chosen lens
constexpr uint8_t kSelectionSpot = 0;
constexpr uint8_t kSelectionRegion = 1;
constexpr uint8_t kSelectionLensSpot = 3;
constexpr uint8_t kSingleLens = 0xFF;
constexpr unsigned kDualLensModel = 51;

// The stream orientation query answers 0 for an upside-down stream.
constexpr uint8_t kStreamInverted = 0;

}  // namespace

// Argument: exposure mode, x, y and lens (kZtLiveviewArgSize bytes, by the
// table). Mode kExposureReset drops the selection; the others select a spot
// or region of the preview, on the dual-lens camera only in the lens mode
// that offers it.
CommandResult cmdLiveviewModeSet(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t *bytes = args.argument->getData();
    const uint32_t exposureMode = readU32(bytes, kZtLiveviewArgModeOffset);
    uint32_t x = readU32(bytes, kZtLiveviewArgXOffset);
    uint32_t y = readU32(bytes, kZtLiveviewArgYOffset);
    const uint32_t lensWord = readU32(bytes, kZtLiveviewArgLensOffset);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_LIVEVIEW_MODE_SET: %d", (int)exposureMode);

    if (exposureMode == kExposureReset)
        return ZT_LOGGED(
            ztc_send_simple_remote_api(&scope.camera, kLiveviewCategory, kExposureSelectReset),
            "REMOTE_LIVEVIEW_EXPOSURE_SELECT_RESET");
    if (x > kCoordinateMax || y > kCoordinateMax) {
        ZTLOG(ZT_LOG_ERROR, "Invalid coords x:%d y:%d", (int)x, (int)y);
        return ZT_ERR;
    }

    // The client picks the point on the picture it shows; an inverted stream
    // shows the sensor's picture turned half a turn.
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int query = ztc_send_remote_api_for_response(&scope.camera, kStreamCategory,
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
        // Also for an answer of the wrong size, with query 0.
        ZTLOG(ZT_LOG_ERROR, "REMOTE_STREAM_ORIENTATION_GET error, %d", query);
    }

    // Payload: selection type, x, y, lens.
    uint8_t payload[4] = {kSelectionSpot, static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                          kSingleLens};
    const unsigned model = CameraState::GetCameraModel();
    const uint8_t lensMode = scope.state.GetLensMode();
    bool valid = true;
    if (model == kDualLensModel) {
        payload[3] = scope.state.getLens();
        if (exposureMode == kExposureRegion && lensMode == 0) {
            payload[0] = kSelectionRegion;
        } else if (exposureMode == kExposureSpot && lensMode == 0) {
            payload[0] = kSelectionSpot;
        } else if (exposureMode == kExposureLensSpot && lensMode == 1) {
            payload[0] = kSelectionLensSpot;
            payload[3] = static_cast<uint8_t>(lensWord);
        } else {
            valid = false;
        }
    } else if (exposureMode == kExposureRegion) {
        payload[0] = kSelectionRegion;
    } else if (exposureMode == kExposureSpot) {
        payload[0] = kSelectionSpot;
    } else {
        valid = false;
    }
    if (!valid) {
        ZTLOG(ZT_LOG_ERROR, "Invalid exposure mode %d in lens_mode[%d]", (int)exposureMode,
              lensMode);
        return ZT_ERR_INVALID_PARAM;
    }
    return ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kLiveviewCategory,
                                                 kExposureSelectSet, payload, sizeof(payload)),
                     "REMOTE_LIVEVIEW_EXPOSURE_SELECT_SET");
}

// Argument: one byte passed on to the firmware (an empty argument sends 0).
CommandResult cmdQuickCaptureStart(CommandScope &scope, const CommandArgs &args)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_QUICK_CAPTURE_START");
    const uint8_t value = args.argument->getUInt8();
    return ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kSystemCategory, kQuickCaptureStart,
                                                 &value, sizeof(value)),
                     "REMOTE_QUICK_CAPTURE_START");
}

// No argument (one sent is refused). Answers the firmware's one busy byte.
CommandResult cmdGetBusyStatus(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_BUSY_STATUS:");
    const RemoteAnswer busy =
        ZT_QUERY(scope.camera, kSystemCategory, kBusyStatusGet, "REMOTE_SYSTEM_BUSY_STATUS_GET");
    if (busy.rc != ZT_OK)
        return busy.rc;
    const uint8_t *answer = busy.data;
    const uint16_t length = busy.length;
    if (answer == nullptr || length != kZtBusyStatusAnswerSize) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_BUSY_STATUS_GET wrong size = %d", (int)length);
        return ZT_ERR;
    }
    return CommandResult::withData(ZT_OK, answer, kZtBusyStatusAnswerSize);
}
