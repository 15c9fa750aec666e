// The block decoder for methods 1 to 3.
#pragma once

#include <cstdint>

void decode_blocks(std::uint32_t unpacked_size);
