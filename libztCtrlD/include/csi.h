// Camera state interface (CSI) client: reads one item from the CSI service
// ("/to_csi"). Safe to call from any thread; each call uses its own reply
// mailbox.
#ifndef CSI_H
#define CSI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Reads CSI item `item` of `size` bytes (1 to 4). On success returns 0 and
// stores the value (little-endian, zero-extended) in *result. Any failure -
// no CSI service, no answer within 1000 ms, a non-zero status from the
// service, a bad size - returns non-zero and leaves *result untouched.
// *status, when not null, receives the service's answer status whenever an
// answer arrived (0, or -1 for an unknown item).
int csi_get(uint32_t item, uint32_t size, uint32_t *status, uint32_t *result);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // CSI_H
