// The tail stamp: at the first occurrence of the 50-byte stamp marker in an entry's unpacked bytes
// (with at least 101 bytes after the marker), the first min(tail length, 100) bytes of the tail
// block are copied into the slot right behind it. The CRC has been taken before; the stamped
// bytes are what reaches the file.
#pragma once

#include <cstdint>

void stamp_tail(unsigned char* buffer, std::uint32_t count, const unsigned char* tail,
                std::uint32_t tail_length);

// Position of the first marker that stamp_tail would stamp, or -1 (for inspecting packages).
std::int64_t find_stamp_marker(const unsigned char* buffer, std::uint32_t count);
