// Little-endian byte helpers for the simulator's firmware records and link
// payloads. Reads are bounded: a short buffer yields the fallback value
// instead of reading past its end. Stateless; any thread may use them.
#ifndef ZTSIM_SIM_BYTES_H
#define ZTSIM_SIM_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ztsim {

using Bytes = std::vector<uint8_t>;

inline uint32_t getU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void putU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Reads the u32 at offset, or fallback when the buffer is too short.
inline uint32_t readU32(const Bytes& b, size_t offset, uint32_t fallback = 0) {
  return b.size() >= offset + 4 ? getU32(b.data() + offset) : fallback;
}

inline uint8_t readU8(const Bytes& b, size_t offset, uint8_t fallback = 0) {
  return b.size() > offset ? b[offset] : fallback;
}

inline void appendU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void appendU16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// Text held in a fixed field: the bytes up to the first NUL or the field's
// end, whichever comes first; a field past the buffer's end reads empty.
inline std::string readText(const Bytes& b, size_t offset, size_t width) {
  std::string s;
  for (size_t i = offset; i < b.size() && i < offset + width && b[i] != 0; ++i) {
    s.push_back(static_cast<char>(b[i]));
  }
  return s;
}

}  // namespace ztsim

#endif  // ZTSIM_SIM_BYTES_H
