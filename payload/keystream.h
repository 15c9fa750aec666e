// The keystream that scrambles the archive part of the payload. The generator is a 32-bit linear
// congruential state seeded with 51829; the key byte for payload position i is bits 7 to 14 of the
// state after i + 1 steps. The key depends on the position alone, never on entry boundaries.
#pragma once

#include <cstdint>

inline std::uint32_t keystream_step(std::uint32_t state) {
    return state * 214013u + 2531011u;
}

inline unsigned char keystream_byte(std::uint32_t state) {
    return static_cast<unsigned char>((state >> 7) & 0xFF);
}

// XORs the key bytes of positions 0 .. length - 1 over bytes (scrambling and unscrambling alike).
void apply_keystream(unsigned char* bytes, std::uint32_t length);

// XORs the key bytes of positions archive_end .. payload_length - 1 over the image once more, so
// that the tail block, which is stored plain, holds exactly the bytes of the file again.
void restore_tail(unsigned char* image, std::uint32_t payload_length, std::uint32_t archive_end);
