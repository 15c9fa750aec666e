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
inline void skip_bits(int n) {
    BitReader& in = bit_reader;
    if (in.input_fill - in.input_pos >= 4) {
        // Fast path, without a loop or a refill: the next stream bits are the window, the
        // pending_bits unused bits of pending_byte and at least four staged bytes (a skip takes at
        // most three). The new window is the 16 bits after the first n of them; the bytes taken
        // are the ones the n bits reach into, and the last of them becomes pending_byte. Its high
        // bits are bits of the window (the invariant), so with none taken the same shift gives
        // the old pending_byte back.
        const unsigned char* next = bit_reader.input_buffer + in.input_pos;
        const int unused = in.pending_bits;
        const std::uint64_t stream =
            (static_cast<std::uint64_t>(in.bit_window) << (unused + 32)) |
            (static_cast<std::uint64_t>(in.pending_byte & ((1u << unused) - 1)) << 32) |
            (static_cast<std::uint64_t>(next[0]) << 24) |
            (static_cast<std::uint64_t>(next[1]) << 16) |
            (static_cast<std::uint64_t>(next[2]) << 8) | static_cast<std::uint64_t>(next[3]);
        const int taken = n > unused ? (n - unused + 7) >> 3 : 0;
        in.bit_window = static_cast<std::uint32_t>(stream >> (unused + 32 - n)) & 0xFFFFu;
        in.pending_byte = static_cast<std::uint32_t>(stream >> (32 - 8 * taken)) & 0xFFu;
        in.pending_bits = unused + 8 * taken - n;
        in.input_pos += taken;
        return;
    }
    // The plain form. Each pass moves the unused low bits of pending_byte in right below the bits
    // kept (its used bits land on equal bits of the window or above bit 15, where the mask drops
    // them), then takes the next byte. Both left shifts are masked to 16 bits; n <= 17 keeps them
    // in range.
    std::uint32_t window_bits = (in.bit_window << n) & 0xFFFFu;
    while (n > in.pending_bits) {
        n -= in.pending_bits;
        window_bits |= (in.pending_byte << n) & 0xFFFFu;
        if (in.input_pos < in.input_fill) {
            in.pending_byte = bit_reader.input_buffer[in.input_pos++];
        } else {
            in.pending_byte = refill_input();
        }
        in.pending_bits = 8;
    }
    in.pending_bits -= n;
    in.bit_window = window_bits | (in.pending_byte >> in.pending_bits);
}

// A decoder's fast view of the packed stream, kept in registers by its hot loop: the next count
// stream bits at the top of bits (at least 16 of them: the top 16 are bit_window), with bytes of
// bit_reader.input_buffer taken ahead up to input_pos, but never across a refill. So the exact
// BitReader state, with the bytes taken ahead handed back, can always be rebuilt (leave_stream):
// whole bytes beyond bit_window and its pending_bits go back to input_buffer. Where the staged
// bytes do not reach, a consume falls back to skip_bits itself, which refills as it always does.
// Either way the stream bits, the bytes taken from PackedInput and the refills are those of
// skip_bits; only the staged bytes are looked at earlier.
struct StreamBits {
    std::uint64_t bits; // stream bits from bit 63 down; below count, staged bits or zeros
    int count;          // valid bits, 16 to 64
    int input_pos;
    int input_fill;
};

inline StreamBits enter_stream() {
    const int unused = bit_reader.pending_bits;
    StreamBits in;
    in.bits = (static_cast<std::uint64_t>(bit_reader.bit_window) << 48) |
              (static_cast<std::uint64_t>(bit_reader.pending_byte & ((1u << unused) - 1))
               << (48 - unused));
    in.count = 16 + unused;
    in.input_pos = bit_reader.input_pos;
    in.input_fill = bit_reader.input_fill;
    return in;
}

inline void leave_stream(const StreamBits& in) {
    const int beyond = in.count - 16;
    const int unused = beyond & 7;
    bit_reader.bit_window = static_cast<std::uint32_t>(in.bits >> 48);
    bit_reader.pending_bits = unused;
    bit_reader.pending_byte = static_cast<std::uint32_t>(in.bits >> (48 - unused)) & 0xFFu;
    bit_reader.input_pos = in.input_pos - (beyond >> 3);
    bit_reader.input_fill = in.input_fill;
}

// Takes staged bytes until 57 or more bits are held or the staged bytes are used up. With eight
// staged bytes at hand they are loaded at once; bits below the whole bytes counted are the next
// stream bits, which a later load puts in again at the same places.
inline void stage_bits(StreamBits& in) {
    const unsigned char* next = bit_reader.input_buffer + in.input_pos;
    if (in.input_fill - in.input_pos >= 8) {
        std::uint64_t ahead = 0;
        for (int i = 0; i < 8; ++i) ahead = (ahead << 8) | next[i];
        in.bits |= ahead >> in.count;
        const int taken = (63 - in.count) >> 3;
        in.input_pos += taken;
        in.count += 8 * taken;
        return;
    }
    while (in.count <= 56 && in.input_pos < in.input_fill) {
        in.bits |= static_cast<std::uint64_t>(bit_reader.input_buffer[in.input_pos++])
                   << (56 - in.count);
        in.count += 8;
    }
}

// The next n stream bits (1 to 16), as bit_window >> (16 - n) would give them.
inline std::uint32_t peek_stream(const StreamBits& in, int n) {
    return static_cast<std::uint32_t>(in.bits >> (64 - n));
}

// skip_bits(n) on the fast view, n from 0 to 17.
inline void consume_stream(StreamBits& in, int n) {
    if (in.count - n < 16) {
        stage_bits(in);
        if (in.count - n < 16) {
            leave_stream(in);
            skip_bits(n);
            in = enter_stream();
            return;
        }
    }
    in.bits <<= n;
    in.count -= n;
}
