// CRC-32 through the byte tables (slicing by eight), and the choice between them and the folding
// of crc32_folding.cpp.
#include "archive/crc32.h"

#include "archive/format.h"

std::uint32_t crc_tables[crc_slices][256];

namespace {
// Whether crc32_feed folds by carry-less multiplication: decided once, by build_crc_table.
bool crc_folding = false;
} // namespace

// Entry k is what eight steps make of k: shift right once, XOR the polynomial when a 1 fell out.
// Each further table runs its predecessor's entries through one more zero byte.
void build_crc_table() {
    for (std::uint32_t k = 0; k < 256; ++k) {
        std::uint32_t value = k;
        for (int step = 0; step < 8; ++step) {
            value = (value & 1) ? (value >> 1) ^ crc32_polynomial : value >> 1;
        }
        crc_table[k] = value;
    }
    for (int j = 1; j < crc_slices; ++j) {
        for (int k = 0; k < 256; ++k) {
            const std::uint32_t previous = crc_tables[j - 1][k];
            crc_tables[j][k] = (previous >> 8) ^ crc_table[previous & 0xFF];
        }
    }
#if defined(SFX_CRC_FOLDING)
    crc_folding = crc_folding_supported();
#endif
}

namespace {
std::uint32_t load_le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
} // namespace

// Eight bytes per step: the running CRC is folded into the first four, and each byte is looked up
// in the table for its distance from the step's end. The remaining bytes go one at a time.
std::uint32_t crc32_feed_table(std::uint32_t crc, const unsigned char* bytes,
                               std::uint32_t length) {
    while (length >= 8) {
        const std::uint32_t low = crc ^ load_le32(bytes);
        const std::uint32_t high = load_le32(bytes + 4);
        crc = crc_tables[7][low & 0xFF] ^ crc_tables[6][(low >> 8) & 0xFF] ^
              crc_tables[5][(low >> 16) & 0xFF] ^ crc_tables[4][low >> 24] ^
              crc_tables[3][high & 0xFF] ^ crc_tables[2][(high >> 8) & 0xFF] ^
              crc_tables[1][(high >> 16) & 0xFF] ^ crc_tables[0][high >> 24];
        bytes += 8;
        length -= 8;
    }
    for (std::uint32_t i = 0; i < length; ++i)
        crc = crc_table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t crc32_feed(std::uint32_t crc, const unsigned char* bytes, std::uint32_t length) {
#if defined(SFX_CRC_FOLDING)
    if (crc_folding) return crc32_feed_folding(crc, bytes, length);
#endif
    return crc32_feed_table(crc, bytes, length);
}
