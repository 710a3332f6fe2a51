// The firmware side's answer to one library request: a ztErrno status and,
// optionally, answer bytes. A value type; any thread may use it.
#ifndef ZTSIM_FW_ANSWER_H
#define ZTSIM_FW_ANSWER_H

#include <cstdint>
#include <utility>

#include "sim_bytes.h"
#include "ztErrno.h"

namespace ztsim {

struct FwAnswer {
  int32_t status = ZT_OK;
  // False: the answer carries no 'E' element. True with empty bytes: an
  // empty answer (an 'E' of length 0).
  bool hasBytes = false;
  Bytes bytes;

  static FwAnswer ok() { return FwAnswer{}; }
  static FwAnswer fail(int32_t status) { return FwAnswer{status, false, {}}; }
  // A status passed on from an action, success or not, without bytes.
  static FwAnswer result(int32_t status) { return FwAnswer{status, false, {}}; }
  static FwAnswer data(Bytes b) { return FwAnswer{ZT_OK, true, std::move(b)}; }
  static FwAnswer byte(uint8_t v) { return data(Bytes{v}); }
};

}  // namespace ztsim

#endif  // ZTSIM_FW_ANSWER_H
