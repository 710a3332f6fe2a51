#include "Msg.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "utils.h"

namespace {

constexpr uint32_t kHeaderSize = 4;
constexpr uint32_t kElementHeadSize = 4;

uint32_t readBE16(const uint8_t *p)
{
    return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

void writeBE16(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

}  // namespace

// ---- MemStream ----

uint8_t *MemStream::writeSpace(uint32_t *room)
{
    *room = m_failed || !m_buffer ? 0 : m_size - m_writePos;
    return *room ? m_buffer + m_writePos : nullptr;
}

bool MemStream::commit(uint32_t length)
{
    if (m_failed || length > m_size - m_writePos) {
        m_failed = true;
        return false;
    }
    m_writePos += length;
    return true;
}

bool MemStream::read(const uint8_t **data, uint32_t length)
{
    if (m_failed || length > m_size - m_readPos) {
        m_failed = true;
        return false;
    }
    *data = m_buffer + m_readPos;
    m_readPos += length;
    return true;
}

const uint8_t *MemStream::peek(uint32_t *available) const
{
    *available = m_size - m_readPos;
    return m_buffer ? m_buffer + m_readPos : nullptr;
}

// ---- Msg ----

Msg::Msg(uint8_t category) : m_category(category) {}

// A parsed message's own copy of its bytes (plus a zero guard byte) and the
// elements pointing into it; allocated on a message's first parse, so
// messages that are only built (answers, events) cost no more than their
// element pointers.
struct Msg::Parsed {
    uint8_t bytes[kMaxSize + 1];
    MsgElement elements[kMaxElements];
};

Msg::~Msg()
{
    delete m_parsed;
}

void Msg::clear()
{
    for (uint32_t i = 0; i < m_count; ++i)
        m_elements[i] = nullptr;
    m_count = 0;
}

uint32_t Msg::getSize() const
{
    uint32_t size = kHeaderSize;
    for (uint32_t i = 0; i < m_count; ++i)
        size += kElementHeadSize + m_elements[i]->getLength();
    return size;
}

uint8_t Msg::getCategory() const
{
    return m_category;
}

MsgElement *Msg::findElement(uint8_t type) const
{
    for (uint32_t i = 0; i < m_count; ++i)
        if (m_elements[i]->getType() == type)
            return m_elements[i];
    return nullptr;
}

void Msg::dump(const char *title) const
{
    if (ZT_LOG_TRACE > g_logLevel)
        return;
    ZTLOG(ZT_LOG_TRACE, "%s: category %u, %u elements, %u bytes", title ? title : "Msg", m_category,
          m_count, getSize());
    for (uint32_t i = 0; i < m_count; ++i) {
        const MsgElement *e = m_elements[i];
        char hex[3 * 32 + 4] = "";
        const uint16_t shown = e->getLength() < 32 ? e->getLength() : 32;
        for (uint16_t j = 0; j < shown; ++j)
            snprintf(hex + 3 * j, sizeof hex - 3 * j, " %02x", e->getData()[j]);
        ZTLOG(ZT_LOG_TRACE, "  element 0x%02x len %u:%s%s", e->getType(), e->getLength(), hex,
              e->getLength() > shown ? " ..." : "");
    }
}

bool Msg::addElement(MsgElement *element)
{
    if (!element || m_count >= kMaxElements)
        return false;
    m_elements[m_count++] = element;
    return true;
}

bool Msg::parse(const uint8_t *data, uint32_t length)
{
    clear();
    if (!data || length < kHeaderSize)
        return false;
    const uint32_t total = readBE16(data);
    if (total < kHeaderSize || total > kMaxSize || total > length)
        return false;

    if (!m_parsed) {
        m_parsed = new (std::nothrow) Parsed;
        if (!m_parsed)
            return false;
    }
    uint8_t *const bytes = m_parsed->bytes;
    memcpy(bytes, data, total);
    bytes[total] = 0;  // guard: a text value that ends the buffer still reads as a C string

    uint32_t pos = kHeaderSize;
    bool ended = false;
    uint32_t count = 0;
    while (pos < total) {
        if (ended || count >= kMaxElements)
            return false;  // bytes after the end, or too many
        if (total - pos < kElementHeadSize)
            return false;  // truncated element head
        const uint32_t valueLength = readBE16(bytes + pos + 1);
        const uint8_t type = bytes[pos + 3];
        if (valueLength > total - pos - kElementHeadSize)
            return false;  // value overruns
        MsgElement &e = m_parsed->elements[count];
        e.setType(type);
        e.setData(bytes + pos + kElementHeadSize, static_cast<uint16_t>(valueLength));
        m_elements[count++] = &e;
        if (type == kEndType) {
            if (valueLength != 0)
                return false;
            ended = true;
        }
        pos += kElementHeadSize + valueLength;
    }
    if (!ended)
        return false;
    m_category = bytes[3];
    m_count = count;
    return true;
}

uint32_t Msg::serialize(uint8_t *buffer, uint32_t size) const
{
    const bool needsEnd = m_count == 0 || m_elements[m_count - 1]->getType() != kEndType;
    const uint32_t total = getSize() + (needsEnd ? kElementHeadSize : 0);
    if (!buffer || total > size || total > kMaxSize)
        return 0;

    writeBE16(buffer, total);
    buffer[2] = 0;
    buffer[3] = m_category;
    uint32_t pos = kHeaderSize;
    for (uint32_t i = 0; i < m_count; ++i) {
        const MsgElement *e = m_elements[i];
        buffer[pos] = 0;
        writeBE16(buffer + pos + 1, e->getLength());
        buffer[pos + 3] = e->getType();
        if (e->getLength())
            memcpy(buffer + pos + kElementHeadSize, e->getData(), e->getLength());
        pos += kElementHeadSize + e->getLength();
    }
    if (needsEnd) {
        buffer[pos] = 0;
        writeBE16(buffer + pos + 1, 0);
        buffer[pos + 3] = kEndType;
        pos += kElementHeadSize;
    }
    return pos;
}

MemStream &operator<<(MemStream &stream, const Msg &msg)
{
    if (stream.fail())
        return stream;
    // Straight into the stream: serialize() writes nothing when the message
    // does not fit the room left.
    uint32_t room = 0;
    uint8_t *space = stream.writeSpace(&room);
    const uint32_t n = space ? msg.serialize(space, room) : 0;
    if (n == 0 || !stream.commit(n)) {
        stream.setFailed();
        ZTLOG(ZT_LOG_ERROR, "Msg of %u bytes does not fit the stream (%u of %u bytes used)",
              msg.getSize(), stream.getLength(), stream.getSize());
    }
    return stream;
}

MemStream &operator>>(MemStream &stream, Msg &msg)
{
    if (stream.fail()) {
        msg.clear();
        return stream;
    }
    uint32_t available = 0;
    const uint8_t *data = stream.peek(&available);
    if (!msg.parse(data, available)) {
        stream.setFailed();
        ZTLOG(ZT_LOG_ERROR, "Malformed message of %u bytes dropped", available);
        return stream;
    }
    const uint8_t *consumed = nullptr;
    stream.read(&consumed, msg.getSize());
    return stream;
}
