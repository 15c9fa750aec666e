// Runs a decoder the way extraction does: PackedInput over the packed bytes, a sink of a chosen
// capacity, reset_bits, then the decoder. Reports what the sink kept and the CRC of every byte
// that was offered to it (refused stretches included).
#pragma once

#include "tests/support/test_support.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace test {

enum class Decoder { blocks, unary };

struct DecodeResult {
    Bytes kept;                // the sink's count bytes
    std::uint32_t offered_crc; // CRC-32 of every byte offered to sink_write
    bool overflowed;           // the sink refused a stretch
};

// PackedInput over packed (which must outlive the reading), then reset_bits.
void start_bit_input(const Bytes& packed);

DecodeResult run_decoder(Decoder decoder, const Bytes& packed, std::uint32_t unpacked_size,
                         std::uint32_t capacity);

inline DecodeResult run_decoder(Decoder decoder, const Bytes& packed, std::uint32_t unpacked_size) {
    return run_decoder(decoder, packed, unpacked_size, unpacked_size);
}

// A plain forward LZ copy of length bytes from back bytes before the end of out.
void reference_copy(Bytes& out, std::uint32_t length, std::uint32_t back);

// Code lengths of a random complete prefix code with the given number of codes (at least 2, at
// most 16 bits each) over an alphabet of size symbols: the leaves of a random tree, split until
// there are enough, given to shuffled symbols.
inline std::vector<int> random_complete_lengths(std::mt19937& random, int size, int codes) {
    std::vector<int> leaves = {0};
    while (static_cast<int>(leaves.size()) < codes) {
        const std::size_t pick = random() % leaves.size();
        if (leaves[pick] >= 16) continue;
        const int depth = ++leaves[pick];
        leaves.push_back(depth);
    }
    std::vector<int> symbols(size);
    for (int s = 0; s < size; ++s) symbols[s] = s;
    std::shuffle(symbols.begin(), symbols.end(), random);
    std::vector<int> lengths(size, 0);
    for (std::size_t i = 0; i < leaves.size(); ++i) lengths[symbols[i]] = leaves[i];
    return lengths;
}

} // namespace test
