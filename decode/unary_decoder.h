// The unary-code decoder for method 4: an LZ77 stream of literals and matches in which every
// number is a unary prefix followed by a remainder of fixed width. It reads the packed stream
// through the BitReader, builds the output in the Window and hands it to sink_write, a full Window
// at a time and the filled part at the end. There are no tables and no end symbol: the decode
// stops when it has produced the entry's unpacked size.
//
//   length code   prefix    remainder  value                     meaning
//   0             0         -          0                         literal, 8 bits follow
//   1 to 254      1{k}0     k bits     2^k - 1 + x (k = 1..6)    match of code + 2 bytes
//                 1111111   7 bits     127 + x                   (3 to 256)
//   distance code 1{k}0     9 + k bits 512 * (2^k - 1) + x       copy from code + 1 bytes back
//                 1111      13 bits    7680 + x                  (1 to 15872)
#pragma once

#include <cstdint>

// Bits taken from bit_window and not yet used, at the top (bit 15 down); the bits below are 0.
extern std::uint16_t accumulator;
// How many bits at the top of accumulator are not yet used, 0 to 16.
extern int held_bits;

// Decodes a method-4 entry of unpacked_size bytes into the sink. Requires PackedInput and the sink
// set up and reset_bits called just before. A DecodeAbort (sink overflow) ends it at once.
void decode_unary(std::uint32_t unpacked_size);

// The next length code, 0 to 254.
std::uint32_t read_unary_length();
// The next distance code, 0 to 15871.
std::uint32_t read_unary_distance();
