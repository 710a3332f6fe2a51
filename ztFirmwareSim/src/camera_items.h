// Ids of the status items and settings the simulated camera keeps in step
// with its state. Where each id sits in the 394-byte status block and the
// 238-byte settings block is the camera control library's table
// (camera_status.h); the few bytes the daemon reads directly but the table
// does not list have their offsets here. Constants; any thread may use them.
#ifndef ZTSIM_CAMERA_ITEMS_H
#define ZTSIM_CAMERA_ITEMS_H

#include <cstdint>

namespace ztsim {

namespace status_id {
enum : uint16_t {
  kBatteryPresent = 1,
  kBatteryBars = 2,
  kBusy = 8,
  kEncoding = 10,
  kVideoProgress = 13,
  kWifiApEnabled = 17,
  kPairingState = 19,
  kPairingType = 20,
  kWifiApState = 32,
  kSdStatus = 33,
  kRemainingPhotos = 34,
  kRemainingVideo = 35,
  kTotalPhotos = 38,
  kTotalVideos = 39,
  kAppMode = 43,
  kRemainingSpaceKb = 54,
  kHilightCount = 58,
  kLastHilightMs = 59,
  kInContextualMenu = 63,
  kBatteryPercent = 70,
  kDigitalZoomActive = 75,
  kDigitalZoomPercent = 77,
  kBand5GhzAvailable = 81,
  kReady = 82,
  kCaptureDelayActive = 84,
  kOrientation = 86,
  kFlatMode = 89,
  kVideoGroupMode = 90,
  kPhotoGroupMode = 91,
  kTimeLapseGroupMode = 92,
  kVideoPreset = 93,
  kPhotoPreset = 94,
  kTimeLapsePreset = 95,
  kPresetGroup = 96,
  kSpecialPreset = 97,
  kModifiedPreset = 98,
  kPresetModified = 99,
  kCaptureDelayCountdown = 101,
  kPowerProfile = 104,
  kCameraControl = 105,
  kLensType = 108,
  kPrerollSeconds = 110,
  kUsbConnected = 111,
  kWebcamState = 112,
  kOtaState = 113,
  kOtaProgress = 114,
  kRemoteConnected = 116,
  kUptimeSeconds = 117,
  kTemperature = 118,
};
}  // namespace status_id

// Status bytes outside the library's table that the daemon reads directly.
namespace status_byte {
enum : uint16_t {
  kUsbControl = 256,  // signed: control over USB allowed
};
}  // namespace status_byte

namespace setting_id {
enum : uint32_t {
  kVideoResolution = 2,
  kVideoFps = 3,
  kVideoProtune = 114,
  kVideoWhiteBalance = 115,
  kVideoIsoMax = 116,
  kVideoColor = 117,
  kVideoEvComp = 118,
  kVideoBitRate = 124,
  kVideoBitDepth = 125,
  kPhotoProtune = 21,
  kPhotoWhiteBalance = 22,
  kWebcamLens = 43,
  kStabilizer = 135,
  kFlatMode = 144,
  kPreroll = 167,
  kUxMode = 177,
  kWirelessBand = 178,
};
}  // namespace setting_id

// Preset-edit states of status item kPresetModified.
enum : uint8_t { kPresetClean = 0, kPresetEdited = 1, kPresetEditing = 3 };

}  // namespace ztsim

#endif  // ZTSIM_CAMERA_ITEMS_H
