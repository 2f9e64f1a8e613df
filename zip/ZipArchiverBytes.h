#pragma once

#include <cstdint>

// Little-endian fields of ZIP records, read from byte buffers.
inline uint16_t ZFReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t ZFReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ZFReadU64(const uint8_t* p) {
    return static_cast<uint64_t>(ZFReadU32(p)) | (static_cast<uint64_t>(ZFReadU32(p + 4)) << 32);
}
