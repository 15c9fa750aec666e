// The method-4 encoder: literals and matches as unary-prefixed codes with fixed-width remainders.
#pragma once

#include "encode/bit_writer.h"
#include "encode/compress.h"
#include "encode/lz_parse.h"

#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint32_t unary_window = 15872; // bytes a method-4 match may reach back

// The packed stream of method 4. fast: greedy parse; normal: lazy parse; best: minimum-cost parse.
std::vector<unsigned char> encode_unary(std::span<const unsigned char> data, Effort effort,
                                        const CompressProgress& progress = {});

// Bits of a literal (9), of a match's length code and of its distance code.
std::uint32_t unary_length_bits(std::uint32_t length);
std::uint32_t unary_distance_bits(std::uint32_t distance);

// Appends one token in the method-4 codes.
void write_unary_token(BitWriter& out, const Token& token);
