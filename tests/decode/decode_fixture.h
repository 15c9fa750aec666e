// Runs a decoder the way extraction does: PackedInput over the packed bytes, a sink of a chosen
// capacity, reset_bits, then the decoder. Reports what the sink kept and the CRC of every byte
// that was offered to it (refused stretches included).
#pragma once

#include "tests/support/test_support.h"

#include <cstdint>

namespace test {

enum class Decoder { blocks, unary };

struct DecodeResult {
    Bytes kept;                // the sink's count bytes
    std::uint32_t offered_crc; // CRC-32 of every byte offered to sink_write
    bool overflowed;           // the sink refused a stretch
};

DecodeResult run_decoder(Decoder decoder, const Bytes& packed, std::uint32_t unpacked_size,
                         std::uint32_t capacity);

inline DecodeResult run_decoder(Decoder decoder, const Bytes& packed, std::uint32_t unpacked_size) {
    return run_decoder(decoder, packed, unpacked_size, unpacked_size);
}

// A plain forward LZ copy of length bytes from back bytes before the end of out.
void reference_copy(Bytes& out, std::uint32_t length, std::uint32_t back);

} // namespace test
