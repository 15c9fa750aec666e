// CRC-32/ISO-HDLC: reflected, polynomial 0xEDB88320. Callers preset 0xFFFFFFFF and complement the
// result; crc32_feed does neither.
#pragma once

#include <cstdint>

// crc_table is the classic byte table: entry k is what eight steps make of k. The seven tables
// after it let crc32_feed take eight bytes per step: table j gives the effect of a byte followed by
// j zero bytes, so the eight lookups of one step still cost one lookup per byte.
constexpr int crc_slices = 8;
extern std::uint32_t crc_tables[crc_slices][256];
inline std::uint32_t (&crc_table)[256] = crc_tables[0];

void build_crc_table();
std::uint32_t crc32_feed(std::uint32_t crc, const unsigned char* bytes, std::uint32_t length);
