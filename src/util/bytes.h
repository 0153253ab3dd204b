// Little-endian integers in byte buffers: the one place where the on-disk
// formats (dBase tables, memo files, index files) do byte arithmetic. Callers
// check that the buffer is long enough; these helpers never bounds-check.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zafirel::bytes {

inline std::uint16_t GetU16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t GetU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void PutU16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// The same on char buffers (std::string data), which the engine uses for records.
inline std::uint16_t GetU16(const char* p) {
  return GetU16(reinterpret_cast<const unsigned char*>(p));
}
inline std::uint32_t GetU32(const char* p) {
  return GetU32(reinterpret_cast<const unsigned char*>(p));
}
inline void PutU16(char* p, std::uint16_t v) { PutU16(reinterpret_cast<unsigned char*>(p), v); }
inline void PutU32(char* p, std::uint32_t v) { PutU32(reinterpret_cast<unsigned char*>(p), v); }

// Eight bytes read most significant first, so numbers compare as the bytes
// do with memcmp.
inline std::uint64_t GetBigU64(const char* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

}  // namespace zafirel::bytes
