// CRC-32/ISO-HDLC: reflected, polynomial 0xEDB88320. Callers preset 0xFFFFFFFF and complement the
// result; crc32_feed does neither.
#pragma once

#include <cstdint>

extern std::uint32_t crc_table[256];

void build_crc_table();
std::uint32_t crc32_feed(std::uint32_t crc, const unsigned char* bytes, std::uint32_t length);
