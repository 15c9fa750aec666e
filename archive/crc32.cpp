#include "archive/crc32.h"

#include "archive/format.h"

std::uint32_t crc_table[256];

// Entry k is what eight steps make of k: shift right once, XOR the polynomial when a 1 fell out.
void build_crc_table() {
    for (std::uint32_t k = 0; k < 256; ++k) {
        std::uint32_t value = k;
        for (int step = 0; step < 8; ++step) {
            value = (value & 1) ? (value >> 1) ^ crc32_polynomial : value >> 1;
        }
        crc_table[k] = value;
    }
}

std::uint32_t crc32_feed(std::uint32_t crc, const unsigned char* bytes, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i)
        crc = crc_table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}
