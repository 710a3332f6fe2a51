// Fuzz target: the Msg parser of the camera control library, directly and
// through MemStream. A message that parses must serialise to bytes that
// parse to an equal message, its size must be the header's length, and the
// stream must consume exactly that length or nothing.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "MemStream.h"
#include "Msg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A heap copy of exactly the input, so any read past it is caught.
    std::vector<uint8_t> input(data, data + size);
    const uint32_t length = static_cast<uint32_t>(size);

    Msg msg;
    const bool parsed = msg.parse(input.data(), length);
    if (!parsed) {
        if (msg.getElementCount() != 0)
            abort();
    } else {
        const uint32_t total = (static_cast<uint32_t>(input[0]) << 8) | input[1];
        if (msg.getSize() != total || total > length || msg.getCategory() != input[3])
            abort();
        for (uint32_t i = 0; i < msg.getElementCount(); ++i) {
            const MsgElement *element = msg.getElement(i);
            if (element == nullptr || msg.findElement(element->getType()) == nullptr)
                abort();
        }
        std::vector<uint8_t> out(Msg::kMaxSize);
        const uint32_t written = msg.serialize(out.data(), static_cast<uint32_t>(out.size()));
        if (written != total)
            abort();
        // The parser does not insist on the zero bytes of the layout (header
        // byte 2, each element's first byte); everything else survives a
        // round trip unchanged.
        Msg again;
        if (!again.parse(out.data(), written) || again.getCategory() != msg.getCategory() ||
            again.getElementCount() != msg.getElementCount())
            abort();
        for (uint32_t i = 0; i < msg.getElementCount(); ++i) {
            const MsgElement *a = msg.getElement(i);
            const MsgElement *b = again.getElement(i);
            if (a->getType() != b->getType() || a->getLength() != b->getLength() ||
                (a->getLength() != 0 && memcmp(a->getData(), b->getData(), a->getLength()) != 0))
                abort();
        }
    }

    // The stream parser agrees with parse() and consumes exactly the
    // header's length, or nothing.
    MemStream stream(input.data(), length);
    Msg streamed;
    stream >> streamed;
    if (stream.fail() == parsed)
        abort();
    if (stream.getReadPosition() != (parsed ? msg.getSize() : 0))
        abort();
    return 0;
}
