// A TLV message as an object: a category and an ordered list of elements,
// serialised to and parsed from the TLV layout of libztCommon (4-byte header
// with big-endian total length and the category in byte 3; elements of
// 0, big-endian length, type, value; the empty end element 0xEE last). A Msg
// is used by one thread at a time.
//
// Element ownership: addElement stores the caller's element by pointer and
// neither copies nor frees it; the caller keeps it (and its bytes) alive
// until the message is cleared. A parsed message holds a private copy of the
// bytes it was parsed from and elements of its own, valid until the next
// clear() or parse. Text values of a parsed message (queue names) are
// followed by a zero byte and can be read as C strings.
#ifndef MSG_H
#define MSG_H

#include <stdint.h>

#include "MemStream.h"
#include "MsgElement.h"

class Msg {
public:
    static constexpr uint32_t kMaxSize = 1500;    // largest serialised message
    static constexpr uint32_t kMaxElements = 32;  // end element included
    static constexpr uint8_t kEndType = 0xEE;

    explicit Msg(uint8_t category = 0);
    Msg(const Msg &) = delete;
    Msg &operator=(const Msg &) = delete;

    // Virtual slots, in this order: destructor, clear, getSize, getCategory,
    // findElement, dump.
    virtual ~Msg();
    // Forgets every element (the category stays).
    virtual void clear();
    // Serialised size in bytes: 4 + the sum of (4 + value length).
    virtual uint32_t getSize() const;
    virtual uint8_t getCategory() const;
    // First element of `type`, or null.
    virtual MsgElement *findElement(uint8_t type) const;
    // Logs the message (category, each element's type and length, and its
    // bytes in hex) at the trace level, headed by `title`.
    virtual void dump(const char *title) const;

    // Appends an element (see ownership above). False when the message
    // already holds kMaxElements elements or `element` is null.
    bool addElement(MsgElement *element);
    void setCategory(uint8_t category) { m_category = category; }
    uint32_t getElementCount() const { return m_count; }
    MsgElement *getElement(uint32_t index) const
    {
        return index < m_count ? m_elements[index] : nullptr;
    }

    // Parses one message from `data`. On failure the message is left empty
    // and false is returned; `data` is never read beyond `length` bytes.
    // Fails on: fewer than 4 bytes, a header length below 4, above
    // kMaxSize or above `length`, an element whose head or value overruns the
    // header's length, a missing end element or bytes after it, and more
    // than kMaxElements elements.
    bool parse(const uint8_t *data, uint32_t length);
    // Serialises into `buffer`; returns the bytes written, or 0 (nothing
    // written) when the message does not fit `size` or exceeds kMaxSize.
    // An end element is appended when the message does not end with one.
    uint32_t serialize(uint8_t *buffer, uint32_t size) const;

private:
    uint8_t m_category;
    uint32_t m_count = 0;
    MsgElement *m_elements[kMaxElements] = {};
    struct Parsed;
    Parsed *m_parsed = nullptr;  // storage of a parsed message, allocated on first parse
};

// Serialises `msg` at the stream's write position; on failure (no room)
// nothing is written and the stream's fail flag is set.
MemStream &operator<<(MemStream &stream, const Msg &msg);
// Parses one message at the stream's read position; on failure `msg` is
// left empty, nothing is consumed and the fail flag is set.
MemStream &operator>>(MemStream &stream, Msg &msg);

#endif  // MSG_H
