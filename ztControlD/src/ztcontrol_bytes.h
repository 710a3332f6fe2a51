// Little-endian words at fixed offsets of request arguments and firmware
// answers, and the argument checks the command areas share. The words are
// composed byte by byte, so any alignment and host order is fine. Plain
// functions without state: any thread.
#ifndef ZTCONTROL_BYTES_H
#define ZTCONTROL_BYTES_H

#include <stddef.h>
#include <stdint.h>

#include "MsgElement.h"
#include "utils.h"
#include "ztErrno.h"

// The u16 at bytes + offset; the caller has checked offset + 2 bytes exist.
inline uint16_t readU16(const uint8_t *bytes, size_t offset = 0)
{
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// The u32 at bytes + offset; the caller has checked offset + 4 bytes exist.
inline uint32_t readU32(const uint8_t *bytes, size_t offset = 0)
{
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// Writes the low `count` bytes of value (at most 4) at bytes + offset.
inline void writeLE(uint8_t *bytes, size_t offset, uint32_t value, unsigned count = 4)
{
    for (unsigned i = 0; i < count && i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// True when the argument element holds at least `length` bytes.
inline bool hasBytes(const MsgElement *argument, size_t length)
{
    return argument && argument->getData() && argument->getLength() >= length;
}

// Logs the refusal of a malformed argument and gives its result code.
inline int invalidParam()
{
    ZTLOG(ZT_LOG_ERROR, "Invalid parameter");
    return ZT_ERR_INVALID_PARAM;
}

// Gives rc, and when rc is a failure logs "<what> error, <rc>" with the
// caller's file and line: the one form of the "X error, %d" lines.
#define ZT_LOGGED(rc, what) ztLoggedResult((rc), (what), __LINE__, ZT_FILE_BASENAME)
inline int ztLoggedResult(int rc, const char *what, int line, const char *file)
{
    if (rc != ZT_OK && ZT_LOG_ERROR <= g_logLevel)
        ztUtilKlogMsgLevel(ZT_LOG_ERROR, line, file, "%s error, %d", what, rc);
    return rc;
}

#endif  // ZTCONTROL_BYTES_H
