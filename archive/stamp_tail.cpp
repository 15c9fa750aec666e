#include "archive/stamp_tail.h"

#include "archive/format.h"

#include <cstring>

const unsigned char stamp_marker[stamp_marker_size] = {
    0x5E, 0xBB, 0xF6, 0x4F, 0xE7, 0x9F, 0xDB, 0x78, 0xF6, 0xDC, 0xCB, 0xCF, 0xBC,
    0xF8, 0xE6, 0xF6, 0xC5, 0x4B, 0xF8, 0x71, 0x65, 0xFB, 0xE6, 0xC5, 0x80, 0x4F,
    0xAE, 0x6F, 0xFF, 0xEF, 0xB7, 0x76, 0x7E, 0xFE, 0xD2, 0xB9, 0x57, 0xAE, 0x5D,
    0xBD, 0xB9, 0x7D, 0xF5, 0xE6, 0xFA, 0x4F, 0xDF, 0xB9, 0xBE, 0x7D};

// A plain scan over start positions 0 .. count - 151: a marker counts only when a full slot and at
// least one more byte follow it.
std::int64_t find_stamp_marker(const unsigned char* buffer, std::uint32_t count) {
    constexpr std::uint32_t least_count = stamp_marker_size + stamp_slot_size; // 150
    if (count <= least_count) return -1;
    for (std::uint32_t m = 0; m <= count - least_count - 1; ++m) {
        std::uint32_t same = 0;
        while (same < stamp_marker_size && buffer[m + same] == stamp_marker[same]) ++same;
        if (same == stamp_marker_size) return m;
    }
    return -1;
}

void stamp_tail(unsigned char* buffer, std::uint32_t count, const unsigned char* tail,
                std::uint32_t tail_length) {
    const std::uint32_t stamp_length =
        tail_length < stamp_slot_size ? tail_length : stamp_slot_size;
    const std::int64_t m = find_stamp_marker(buffer, count);
    if (m < 0) return;
    std::memcpy(buffer + m + stamp_marker_size, tail, stamp_length);
}
