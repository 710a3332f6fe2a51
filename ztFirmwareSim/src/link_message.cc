#include "link_message.h"

#include <algorithm>

#include "ztTlv.h"
#include "ztcWire.h"

namespace ztsim {

namespace {

// Builds into a ZTMSG_MAX buffer; an element that does not fit is left out
// by sntlv_add_bin, so the result is always a well-formed message head.
class Builder {
 public:
  explicit Builder(uint8_t category) { sntlv_msg_init(m_buf, sizeof m_buf, category); }
  Builder& bin(int type, const void* data, size_t len) {
    sntlv_add_bin(m_buf, sizeof m_buf, type, static_cast<uint32_t>(len), data);
    return *this;
  }
  Builder& bytes(int type, const Bytes& b) { return bin(type, b.data(), b.size()); }
  // An empty queue name is never written: the TLV layer treats an empty
  // source or destination as a programming error and aborts.
  Builder& text(int type, const std::string& s) {
    return s.empty() ? *this : bin(type, s.data(), s.size());
  }
  Builder& u32(int type, uint32_t v) {
    uint8_t w[4];
    putU32(w, v);
    return bin(type, w, 4);
  }
  Bytes end() {
    sntlv_add_bin(m_buf, sizeof m_buf, ZTC_EL_END, 0, nullptr);
    return Bytes(m_buf, m_buf + sntlv_msg_len(m_buf));
  }

 private:
  uint8_t m_buf[ZTMSG_MAX];
};

}  // namespace

bool parseLinkMessage(const uint8_t* data, size_t length, LinkMessage* out) {
  if (length < TLV_HDR_LEN || length > ZTMSG_MAX) return false;
  if (static_cast<size_t>(sntlv_msg_len(data)) != length) return false;
  *out = LinkMessage();
  out->category = data[3];
  size_t pos = TLV_HDR_LEN;
  while (pos < length) {
    if (length - pos < TLV_ELEM_HDR_LEN) return false;
    size_t len = static_cast<size_t>(data[pos + 1]) << 8 | data[pos + 2];
    uint8_t type = data[pos + 3];
    const uint8_t* v = data + pos + TLV_ELEM_HDR_LEN;
    if (len > length - pos - TLV_ELEM_HDR_LEN) return false;
    // The first element of each type counts, as tlv_find would find it.
    switch (type) {
      case ZTC_EL_CMD:
        if (out->command.empty()) out->command.assign(reinterpret_cast<const char*>(v), len);
        break;
      case ZTC_EL_CMDARG:
        if (!out->hasArg) out->arg.assign(v, v + len), out->hasArg = true;
        break;
      case ZTC_EL_SRC:
        if (out->src.empty()) out->src.assign(reinterpret_cast<const char*>(v), len);
        break;
      case ZTC_EL_DST:
        if (out->dst.empty()) out->dst.assign(reinterpret_cast<const char*>(v), len);
        break;
      case ZTC_EL_SEQ:
        if (!out->hasSeq && len == 4) out->seq = getU32(v), out->hasSeq = true;
        break;
      case ZTC_EL_OPTION:
        if (len >= 1) out->option = v[0];
        break;
      case ZTC_EL_RSPARG:
        out->answer.assign(v, v + len);
        out->hasAnswer = true;
        break;
      case ZTC_EL_RESULT:
        if (!out->hasResult && len == 4)
          out->result = static_cast<int32_t>(getU32(v)), out->hasResult = true;
        break;
      default:
        break;
    }
    pos += TLV_ELEM_HDR_LEN + len;
    if (type == ZTC_EL_END) break;
  }
  return true;
}

Bytes buildLibraryAnswer(const LinkMessage& request, const FwAnswer& answer) {
  Builder b(ZTC_CAT_LIB_ANSWER);
  b.text(ZTC_EL_CMD, request.command);
  b.bin(ZTC_EL_CMDARG, request.arg.data(), std::min<size_t>(request.arg.size(), 2));
  b.u32(ZTC_EL_SEQ, request.seq);
  b.u32(ZTC_EL_RESULT, static_cast<uint32_t>(answer.status));
  if (answer.hasBytes) b.bytes(ZTC_EL_RSPARG, answer.bytes);
  b.text(ZTC_EL_SRC, request.dst.empty() ? ZTC_QUEUE_FIRMWARE : request.dst);
  b.text(ZTC_EL_DST, request.src);
  return b.end();
}

Bytes buildPresetEvent(const PresetEvent& event, const std::string& daemonQueue,
                       const std::string& firmwareQueue) {
  Bytes arg{event.code};
  appendU32(arg, event.id);
  return Builder(ZTC_CAT_PRESET_EVENT)
      .text(ZTC_EL_CMD, "PU")
      .bytes(ZTC_EL_CMDARG, arg)
      .text(ZTC_EL_SRC, firmwareQueue)
      .text(ZTC_EL_DST, daemonQueue)
      .end();
}

Bytes buildSuspendRequest(bool resume, const std::string& daemonQueue,
                          const std::string& ownQueue) {
  return Builder(ZTC_CAT_SYS_REQUEST)
      .text(ZTC_EL_CMD, resume ? "JR" : "JS")
      .bytes(ZTC_EL_CMDARG, Bytes{0})
      .text(ZTC_EL_DST, daemonQueue)
      .text(ZTC_EL_SRC, ownQueue)
      .end();
}

Bytes buildCsiMessage(uint8_t category, const char* command, const Bytes& arg, bool withResult,
                      int32_t result, const Bytes& answer, const std::string& src,
                      const std::string& dst) {
  Builder b(category);
  b.text(ZTC_EL_CMD, command).bytes(ZTC_EL_CMDARG, arg);
  if (withResult) b.u32(ZTC_EL_RESULT, static_cast<uint32_t>(result));
  return b.bytes(ZTC_EL_RSPARG, answer).text(ZTC_EL_SRC, src).text(ZTC_EL_DST, dst).end();
}

}  // namespace ztsim
