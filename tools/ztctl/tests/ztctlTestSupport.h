// Shared helpers of ztctl's tests: parsing a command line as ztctl does,
// building the daemon's answers and notifications, reading request elements.
// Plain functions without state; safe from any thread.
#pragma once

#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "ztTlv.h"

namespace ztctltest {

using ztctl::Bytes;

// Parses `args` as the words after "ztctl"; the refusal text goes to `error`.
inline std::optional<ztctl::Options> parse(std::vector<const char *> args,
                                           std::string *error = nullptr)
{
    args.insert(args.begin(), "ztctl");
    std::string e;
    auto o = ztctl::parseCommandLine(static_cast<int>(args.size()), args.data(), e);
    if (error)
        *error = e;
    return o;
}

// Parses a command line given as one text of space-separated words.
inline std::optional<ztctl::Options> parseLine(const std::string &line,
                                               std::string *error = nullptr)
{
    std::istringstream in(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char *> args;
    for (const std::string &w : words)
        args.push_back(w.c_str());
    return parse(args, error);
}

// A message of `category` with result element `result` and, when given,
// payload element 'E' holding `payload`.
inline Bytes daemonMessage(uint8_t category, int32_t result, const Bytes *payload = nullptr)
{
    Bytes m(ZTMSG_MAX);
    sntlv_msg_init(m.data(), ZTMSG_MAX, category);
    sntlv_add_dat(m.data(), ZTMSG_MAX, TLV_RESULT, 4, static_cast<uint32_t>(result));
    if (payload)
        sntlv_add_bin(m.data(), ZTMSG_MAX, TLV_RSPARG, static_cast<uint32_t>(payload->size()),
                      payload->data());
    sntlv_add_bin(m.data(), ZTMSG_MAX, TLV_END, 0, nullptr);
    m.resize(static_cast<size_t>(sntlv_msg_len(m.data())));
    return m;
}

// The value of element `type` of a received message as text; "<none>" when
// the element is missing, "<no message>" when nothing was received.
inline std::string element(const Bytes &msg, int type)
{
    if (msg.size() < 4)
        return "<no message>";
    const uint8_t *e = tlv_find(msg.data(), type);
    if (!e)
        return "<none>";
    return std::string(reinterpret_cast<const char *>(e + 4), (e[1] << 8) | e[2]);
}

}  // namespace ztctltest
