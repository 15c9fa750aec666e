// The block decoder for methods 1 to 3, which share one stream format. The packed stream is a run
// of blocks, each field most significant bit first:
//
//   block size         16 bits: symbols in the block (a literal and a whole match count one each)
//   code-length table  short-table form over 19 symbols, a 2-bit zero run after the third length
//   literal/length     9-bit count, then code lengths coded with the code-length code
//   distance table     short-table form over 17 symbols, no zero run
//   symbols            literals 0-255; match symbols 256-509 (s - 253 bytes), each followed by a
//                      distance class q and q - 1 extra bits (r = 0, or 2^(q-1) + x); the match
//                      copies from r + 1 bytes back
//
// It reads the stream through the BitReader, builds its tables with build_decode_table, writes the
// output into the Window and hands it to sink_write. There is no end symbol: the decode stops when
// it has produced the entry's unpacked size.
#pragma once

#include <cstdint>

constexpr int literal_alphabet_size = 510;    // literals 0-255, match symbols 256-509
constexpr int code_length_alphabet_size = 19; // 0, 1, 2: zero runs; 3-18: lengths 1-16
constexpr int distance_alphabet_size = 17;    // distance classes 0-16
constexpr int symbol_table_bits = 12;
constexpr int short_table_bits = 8;
constexpr int symbol_table_size = 1 << symbol_table_bits;
constexpr int short_table_size = 1 << short_table_bits;

// Symbols left in the current block; 0: a block header comes next. reset_bits clears it.
extern std::uint32_t block_remaining;
extern std::int32_t symbol_table[symbol_table_size];
extern std::int32_t symbol_lengths[literal_alphabet_size];
// Shared in turn by the code-length code and, once the literal/length lengths are read, the
// distance code of the same block.
extern std::int32_t short_table[short_table_size];
extern std::int32_t short_lengths[code_length_alphabet_size];

// Decodes a method 1-3 entry of unpacked_size bytes into the sink. Requires PackedInput and the
// sink set up and reset_bits called just before. A DecodeAbort (sink overflow, bad table) ends it
// at once, without the final flush.
void decode_blocks(std::uint32_t unpacked_size);

// Reads a table in short-table form into short_lengths and short_table: a count of width bits,
// then that many length values (with a 2-bit zero run after the special-th one; -1: none), or a
// count of 0 and a single value of width bits that every symbol decodes as.
void read_short_lengths(int count, int width, int special);
// Reads the literal/length table into symbol_lengths and symbol_table.
void read_symbol_lengths();
// Decodes a distance class and its extra bits: r, 0 to 65535.
std::uint32_t read_distance();
