// A byte stream over a caller's fixed buffer, through which Msg objects are
// serialised (operator<<) and parsed (operator>>). Writing appends at the
// write position and never passes the buffer's size; reading consumes whole
// messages from the read position. A failed operation sets the fail flag and
// leaves the positions where they were. Owned by one thread at a time.
#ifndef MEM_STREAM_H
#define MEM_STREAM_H

#include <stdint.h>

class MemStream {
public:
    // REQUIRES: `buffer` holds `size` bytes for as long as the stream is used.
    // For reading, the buffer's first `size` bytes are the input.
    MemStream(void *buffer, uint32_t size)
        : m_buffer(static_cast<uint8_t *>(buffer)), m_size(buffer ? size : 0)
    {
    }
    MemStream(const MemStream &) = delete;
    MemStream &operator=(const MemStream &) = delete;

    // Bytes written so far (the serialised length). A message never exceeds
    // 1500 bytes, so the length fits 16 bits.
    uint16_t getLength() const { return static_cast<uint16_t>(m_writePos); }
    uint8_t *getBuffer() const { return m_buffer; }
    uint32_t getSize() const { return m_size; }
    uint32_t getReadPosition() const { return m_readPos; }

    bool fail() const { return m_failed; }
    bool good() const { return !m_failed; }
    void clearError() { m_failed = false; }

    // Low-level access used by the Msg serialiser; each either does all of
    // its work or nothing (and then sets the fail flag).
    // Where the next bytes are written and how many fit (`*room`); null once
    // the stream has failed. The serialiser writes there directly, then
    // commits what it wrote.
    uint8_t *writeSpace(uint32_t *room);
    bool commit(uint32_t length);
    // Points `*data` at the next `length` unread bytes and consumes them.
    bool read(const uint8_t **data, uint32_t length);
    // Unread bytes without consuming them.
    const uint8_t *peek(uint32_t *available) const;
    void setFailed() { m_failed = true; }

private:
    uint8_t *m_buffer;
    uint32_t m_size;
    uint32_t m_writePos = 0;
    uint32_t m_readPos = 0;
    bool m_failed = false;
};

#endif  // MEM_STREAM_H
