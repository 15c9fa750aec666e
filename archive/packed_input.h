// PackedInput: the cursor over the current entry's packed bytes. Only read_packed moves it, so
// nothing past an entry's packed size is ever taken.
#pragma once

#include <cstdint>

struct PackedInput {
    const unsigned char* cursor;
    std::uint32_t remaining;
};

extern PackedInput packed_input;

// Copies min(n, remaining) bytes to destination and returns that count (0 once used up).
std::uint32_t read_packed(unsigned char* destination, std::uint32_t n);
