// The unary-code decoder for method 4.
#pragma once

#include <cstdint>

void decode_unary(std::uint32_t unpacked_size);
