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

// Builds the tables and picks the way crc32_feed goes on this CPU; call it before crc32_feed.
void build_crc_table();
std::uint32_t crc32_feed(std::uint32_t crc, const unsigned char* bytes, std::uint32_t length);

// The ways crc32_feed can go, with the same results (the tests compare them): eight bytes a step
// through the tables, and on x86 CPUs with PCLMULQDQ and SSE4.1 (crc_folding_supported()), 64
// bytes a step by carry-less multiplication, the last bytes again through the tables.
std::uint32_t crc32_feed_table(std::uint32_t crc, const unsigned char* bytes, std::uint32_t length);
#if defined(__x86_64__) || defined(__i386__)
#define SFX_CRC_FOLDING 1
bool crc_folding_supported();
std::uint32_t crc32_feed_folding(std::uint32_t crc, const unsigned char* bytes,
                                 std::uint32_t length);
#endif
