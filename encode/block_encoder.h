// The block encoder for methods 1 to 3: LZ tokens in blocks of at most 65535 symbols, each block
// opening with its three canonical codes (code-length, literal/length and distance alphabets).
#pragma once

#include "encode/bit_writer.h"
#include "encode/compress.h"
#include "encode/lz_parse.h"

#include <cstdint>
#include <span>
#include <vector>

constexpr unsigned block_code_max_length = 16; // longest code the decoders' tables take
constexpr std::size_t block_max_symbols = 65535;

// The packed stream of methods 1 to 3. fast: greedy parse; normal: lazy parse (two steps); best:
// minimum-cost parse with costs iterated from the previous pass and then per block. Blocks are
// split by estimated cost.
std::vector<unsigned char> encode_blocks(std::span<const unsigned char> data, Effort effort,
                                         const CompressProgress& progress = {});

// Distance class of r (bytes back minus 1): 0 for r = 0, else q with 2^(q-1) <= r < 2^q, which is
// sent with q - 1 extra bits.
unsigned distance_class(std::uint32_t r);

// Appends one block holding tokens (1 to 65535 of them) to out.
void write_block(BitWriter& out, std::span<const Token> tokens);
