// Reading and writing the TLV messages of the firmware link: a bounded
// parser for received bytes and builders for every message the firmware
// side sends (library answers, preset events, suspend and resume requests,
// CSI answers and notifications). Stateless; any thread may use it.
#ifndef ZTSIM_LINK_MESSAGE_H
#define ZTSIM_LINK_MESSAGE_H

#include <cstdint>
#include <string>

#include "fw_answer.h"
#include "preset_store.h"

namespace ztsim {

// The elements of one received message that the firmware side reads.
struct LinkMessage {
  uint8_t category = 0;
  std::string command;  // 'A' as text
  Bytes arg;            // 'B'
  bool hasArg = false;
  std::string src;  // 'D'
  std::string dst;  // 'C'
  bool hasSeq = false;
  uint32_t seq = 0;    // 'S'
  uint8_t option = 0;  // 'W'
  Bytes answer;        // 'E'
  bool hasAnswer = false;
  bool hasResult = false;
  int32_t result = 0;  // 0xEC
};

// Parses length bytes. False (and nothing trusted) when the header's length
// is not the received length or an element runs past the message.
bool parseLinkMessage(const uint8_t* data, size_t length, LinkMessage* out);

// Answer (category 25) to a library request, for the request's reply queue.
Bytes buildLibraryAnswer(const LinkMessage& request, const FwAnswer& answer);

// Preset-update event (category 10) for the daemon's queue.
Bytes buildPresetEvent(const PresetEvent& event, const std::string& daemonQueue,
                       const std::string& firmwareQueue);

// Suspend ("JS") or resume ("JR") request (category 16); ownQueue receives
// the daemon's answer.
Bytes buildSuspendRequest(bool resume, const std::string& daemonQueue, const std::string& ownQueue);

// A CSI message: category, command, argument, optional result, answer bytes,
// source and destination.
Bytes buildCsiMessage(uint8_t category, const char* command, const Bytes& arg, bool withResult,
                      int32_t result, const Bytes& answer, const std::string& src,
                      const std::string& dst);

}  // namespace ztsim

#endif  // ZTSIM_LINK_MESSAGE_H
