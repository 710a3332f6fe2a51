// Encoder and decoder of typed-call arguments on the firmware link: u8/i8/
// bool 1 byte, u16 2 bytes, 32-bit values 4 bytes, all little-endian, and
// byte ranges as a u16 length followed by the bytes. The library encodes
// inputs and decodes outputs with them; the firmware side does the reverse.
// Plain value types over caller buffers; one thread at a time.
#ifndef ZTC_ARGS_H
#define ZTC_ARGS_H

#include <stdint.h>
#include <string.h>

// Appends arguments to a fixed buffer. After any write that did not fit,
// ok() is false and the buffer content must not be used.
class ZtcArgWriter {
public:
    ZtcArgWriter(uint8_t *buffer, uint32_t size) : m_buffer(buffer), m_size(size) {}

    ZtcArgWriter &u8(uint8_t v) { return bytes(&v, 1); }
    ZtcArgWriter &u16(uint16_t v)
    {
        const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        return bytes(b, 2);
    }
    ZtcArgWriter &u32(uint32_t v)
    {
        const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
        return bytes(b, 4);
    }
    ZtcArgWriter &i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    // A byte range: u16 length, then the bytes. Ranges above 65535 bytes fail.
    ZtcArgWriter &range(const void *data, uint32_t length)
    {
        if (length > 0xFFFF || (length && !data)) {
            m_ok = false;
            return *this;
        }
        u16(static_cast<uint16_t>(length));
        return bytes(data, length);
    }
    // Raw bytes without a length (function names, payloads).
    ZtcArgWriter &bytes(const void *data, uint32_t length)
    {
        if (!m_ok || length > m_size - m_length) {
            m_ok = false;
            return *this;
        }
        if (length)
            memcpy(m_buffer + m_length, data, length);
        m_length += length;
        return *this;
    }

    bool ok() const { return m_ok; }
    uint32_t length() const { return m_length; }
    const uint8_t *data() const { return m_buffer; }

private:
    uint8_t *m_buffer;
    uint32_t m_size;
    uint32_t m_length = 0;
    bool m_ok = true;
};

// Reads arguments from bytes. A read past the end fails, yields 0 (or an
// empty range) and makes ok() false for good.
class ZtcArgReader {
public:
    ZtcArgReader(const uint8_t *data, uint32_t length) : m_data(data), m_length(data ? length : 0)
    {
    }

    uint8_t u8() { return static_cast<uint8_t>(le(1)); }
    int8_t i8() { return static_cast<int8_t>(le(1)); }
    uint16_t u16() { return static_cast<uint16_t>(le(2)); }
    uint32_t u32() { return le(4); }
    int32_t i32() { return static_cast<int32_t>(le(4)); }
    // A byte range: sets *data (pointing into the input) and returns the
    // length; 0 and a null *data on failure.
    uint16_t range(const uint8_t **data)
    {
        const uint16_t n = u16();
        if (!m_ok || n > m_length - m_pos) {
            m_ok = false;
            *data = nullptr;
            return 0;
        }
        *data = m_data + m_pos;
        m_pos += n;
        return n;
    }

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_length; }
    uint32_t remaining() const { return m_length - m_pos; }

private:
    uint32_t le(uint32_t width)
    {
        if (!m_ok || width > m_length - m_pos) {
            m_ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (uint32_t i = 0; i < width; ++i)
            v |= static_cast<uint32_t>(m_data[m_pos + i]) << (8 * i);
        m_pos += width;
        return v;
    }

    const uint8_t *m_data;
    uint32_t m_length;
    uint32_t m_pos = 0;
    bool m_ok = true;
};

#endif  // ZTC_ARGS_H
