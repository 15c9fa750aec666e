#include "archive/packed_input.h"

#include <cstring>

PackedInput packed_input;

std::uint32_t read_packed(unsigned char* destination, std::uint32_t n) {
    const std::uint32_t count = n < packed_input.remaining ? n : packed_input.remaining;
    if (count) std::memcpy(destination, packed_input.cursor, count);
    packed_input.cursor += count;
    packed_input.remaining -= count;
    return count;
}
