// Bit input for both decoders. Reads the current entry's packed bytes from PackedInput, 32 at a
// time, and produces the packed stream: the bytes in order, each from its most significant bit
// down, followed by endless zero bits.
//
// A decoder sees the next 16 stream bits in bit_reader.bit_window (the next bit is bit 15) and
// consumes them with skip_bits. Between calls the state keeps this invariant:
//   - bit_window holds the 16 stream bits after everything skipped so far;
//   - the low pending_bits bits of pending_byte, highest first, are the stream bits right after
//     them; its other bits equal the low 8 - pending_bits bits of bit_window;
//   - then come input_buffer[input_pos .. input_fill - 1], the bytes PackedInput still holds, and
//     zeros.
// Running out of packed bytes is not an error: every further byte is 0, and the entry's CRC-32
// catches a stream that was too short.
#pragma once

#include "archive/format.h"

#include <cstdint>

struct BitReader {
    unsigned char input_buffer[input_buffer_size]; // the last run of bytes taken from PackedInput
    int input_pos;                                 // next byte of input_buffer to hand out, 0 to 32
    int input_fill;                                // valid bytes in input_buffer, 0 to 32
    std::uint32_t pending_byte;                    // the byte most recently taken, 0 to 255
    int pending_bits;         // low bits of pending_byte not yet in bit_window, 0 to 8
    std::uint32_t bit_window; // the next 16 stream bits, 0 to 0xFFFF
};

extern BitReader bit_reader;

// Refills input_buffer with read_packed(input_buffer, 32) and hands out its first byte, or 0 (with
// the buffer left empty) when the packed bytes are used up. Called only by skip_bits.
std::uint32_t refill_input();

// Clears the bit input (and the block decoder's block_remaining), then primes bit_window with the
// first two packed bytes, zeros where there are none.
void reset_bits();

// Drops the top n bits of bit_window (n from 0 to 17) and brings the next n stream bits in at its
// bottom. A skip of 17 also drops the stream bit after the window's 16.
//
// Each pass of the loop moves the unused low bits of pending_byte in right below the bits kept
// (its used bits land on equal bits of the window or above bit 15, where the mask drops them),
// then takes the next byte. Both left shifts are masked to 16 bits; n <= 17 keeps them in range.
inline void skip_bits(int n) {
    BitReader& in = bit_reader;
    std::uint32_t window_bits = (in.bit_window << n) & 0xFFFFu;
    while (n > in.pending_bits) {
        n -= in.pending_bits;
        window_bits |= (in.pending_byte << n) & 0xFFFFu;
        if (in.input_pos < in.input_fill) {
            in.pending_byte = in.input_buffer[in.input_pos++];
        } else {
            in.pending_byte = refill_input();
        }
        in.pending_bits = 8;
    }
    in.pending_bits -= n;
    in.bit_window = window_bits | (in.pending_byte >> in.pending_bits);
}
