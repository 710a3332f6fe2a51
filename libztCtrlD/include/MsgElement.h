// One typed element of a TLV message (see Msg.h). An element either borrows
// its bytes (setData: the caller keeps them alive until the message has been
// serialised) or refers to bytes held by the Msg that parsed it. Not
// thread-safe; an element belongs to one thread at a time.
#ifndef MSG_ELEMENT_H
#define MSG_ELEMENT_H

#include <stdint.h>

class MsgElement {
public:
    explicit MsgElement(uint8_t type = 0) : m_type(type) {}
    MsgElement(uint8_t type, const void *data, uint16_t length)
        : m_type(type), m_data(static_cast<const uint8_t *>(data)), m_length(length)
    {
    }

    uint8_t getType() const { return m_type; }
    void setType(uint8_t type) { m_type = type; }

    // Borrows `length` bytes at `data` (null with length 0 for an empty value).
    void setData(const void *data, uint16_t length)
    {
        m_data = static_cast<const uint8_t *>(data);
        m_length = data ? length : 0;
    }

    // The value bytes, or null when the element is empty.
    const uint8_t *getData() const { return m_length ? m_data : nullptr; }
    uint16_t getLength() const { return m_length; }

    // The value as an unsigned integer, little-endian: a shorter value is
    // zero-extended, a longer one is read from its first bytes; an empty
    // value reads as 0.
    uint8_t getUInt8() const { return static_cast<uint8_t>(readLE(1)); }
    uint16_t getUInt16() const { return static_cast<uint16_t>(readLE(2)); }
    uint32_t getUInt32() const { return readLE(4); }

private:
    uint32_t readLE(uint16_t width) const
    {
        uint32_t v = 0;
        const uint16_t n = m_length < width ? m_length : width;
        for (uint16_t i = 0; i < n; ++i)
            v |= static_cast<uint32_t>(m_data[i]) << (8 * i);
        return v;
    }

    uint8_t m_type;
    const uint8_t *m_data = nullptr;
    uint16_t m_length = 0;
};

#endif  // MSG_ELEMENT_H
