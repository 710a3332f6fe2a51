// Fuzz target: the TLV functions of libztCommon on arbitrary bytes.
//
// The first input byte chooses how the rest is presented. The functions
// trust the header's total length (their callers check it against what was
// received), so a message is handed over only in a buffer of exactly the size
// they may read: the received bytes when the header claims no more, or the
// header patched to the received length. Checks: validation agrees with a
// search for the end element, every element found lies inside the message,
// copying a value never exceeds the destination, appending to a valid
// message keeps it valid and blanking an element keeps its framing sound.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "utils.h"
#include "ztTlv.h"

namespace {

const int kTypes[] = {TLV_CMD,    TLV_CMDARG, TLV_DST,    TLV_SRC,
                      TLV_RSPARG, TLV_VOID,   TLV_RESULT, TLV_END};

int declaredLength(const uint8_t *msg)
{
    return sntlv_msg_len(msg);
}

void checkFound(const uint8_t *msg, int total, const uint8_t *element)
{
    if (element == nullptr)
        return;
    const ptrdiff_t offset = element - msg;
    if (offset < TLV_HDR_LEN || offset + TLV_ELEM_HDR_LEN > total)
        abort();
    const int valueLength = (element[1] << 8) | element[2];
    if (offset + TLV_ELEM_HDR_LEN + valueLength > total)
        abort();
}

}  // namespace

// Validation reports each fault on the console; at fuzzing rates the writes,
// not the code under test, would take the time.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_debug_level &= ~ZT_DBG_VERBOSITY_MASK;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 + TLV_HDR_LEN || size - 1 > ZTMSG_MAX)
        return 0;
    const uint8_t mode = data[0];
    std::vector<uint8_t> message(data + 1, data + size);
    if (mode & 1) {
        message[0] = static_cast<uint8_t>(message.size() >> 8);
        message[1] = static_cast<uint8_t>(message.size());
    }
    const int total = declaredLength(message.data());
    if (total < 0 || static_cast<size_t>(total) > message.size())
        return 0;
    // Exactly the declared bytes, so AddressSanitizer sees any read beyond.
    message.resize(static_cast<size_t>(total < TLV_HDR_LEN ? TLV_HDR_LEN : total));
    message.shrink_to_fit();
    uint8_t *msg = message.data();

    for (int type : kTypes)
        checkFound(msg, total, tlv_find(msg, type));

    uint8_t small[8];
    for (int type : kTypes) {
        const uint32_t copied = sntlv_find(small, sizeof(small), type, msg);
        if (copied >= sizeof(small))
            abort();
    }

    const int verdict = tlv_validate(msg);
    if (verdict != 0 && verdict != -1 && verdict != -2 && verdict != -3)
        abort();
    if (verdict != 0)
        return 0;
    if (tlv_find(msg, TLV_END) == nullptr)
        abort();

    // A valid message stays valid when its end element is replaced by a new
    // element and a new end, and when an element is blanked.
    std::vector<uint8_t> grown(ZTMSG_MAX);
    memcpy(grown.data(), msg, static_cast<size_t>(total));
    sntlv_remove(grown.data(), ZTMSG_MAX, TLV_END);
    const uint8_t extra[3] = {mode, 0, 1};
    if (sntlv_add_bin(grown.data(), ZTMSG_MAX, TLV_RSPARG, sizeof(extra), extra) != 0 &&
        sntlv_add_bin(grown.data(), ZTMSG_MAX, TLV_END, 0, nullptr) != 0) {
        if (tlv_validate(grown.data()) != 0)
            abort();
    }
    if (tlv_find(msg, TLV_CMDARG) != nullptr) {
        sntlv_void(msg, TLV_CMDARG);
        checkFound(msg, total, tlv_find(msg, TLV_VOID));
        // The framing stays sound; whether the message still has every
        // element its category needs is another matter.
        if (tlv_validate(msg) == -1)
            abort();
    }
    return 0;
}
