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
#include "archive/packed_input.h"

#include <bit>
#include <cstdint>
#include <cstring>

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
// stream bits at the top of bits, with packed bytes taken ahead straight from the entry's packed
// data, eight at a time, past input_buffer's end too. Near the data's end the view moves to
// stream_tail, a copy of the last packed bytes followed by zeros (the stream's bits past the end),
// so a stage always finds eight bytes to load. What the BitReader would hold after the same skips
// depends only on how far the stream has got, so leave_stream rebuilds it exactly: whole bytes
// beyond bit_window and its pending_bits are handed back, and the refills skip_bits would have
// made on the way are made (catch_up_input), down to the empty refill past the end. So the
// stream bits, the bytes taken from PackedInput and the refills are those of skip_bits; only the
// packed bytes are looked at earlier.
//
// The view relies on what refill_input keeps true: input_buffer holds the input_fill bytes right
// before packed_input.cursor.
struct StreamBits {
    std::uint64_t bits;        // stream bits from bit 63 down; below count, staged bits or zeros
    int count;                 // valid bits: 16 to 63 after enter_stream and stage_bits
    const unsigned char* next; // the next packed byte not yet in bits
    const unsigned char* end;  // the end of the packed data, or of stream_tail
};

// The zero-padded copy of the packed data's last stream_tail_rest bytes (fewer than 16), which
// began at stream_tail_source.
constexpr int stream_tail_size = 64;
extern unsigned char stream_tail[stream_tail_size];
extern const unsigned char* stream_tail_source;
extern int stream_tail_rest;

// Brings the BitReader's input up to next, the first packed byte not handed out, when that lies
// beyond input_buffer: makes the refills skip_bits would have made to hand out the bytes before
// it. Out of line; a leave_stream after a run of more than 32 packed bytes calls it.
void catch_up_input(const unsigned char* next);

// The BitReader's input once the stream has gone past the packed data's end: every byte up to the
// end handed out, and the refill that found nothing.
void input_past_end();

// Moves a view with fewer than 16 bytes left to stream_tail, or within it back by 32 bytes of
// zeros. Out of line and by value, so that the hot loops' StreamBits never has its address taken
// and stays in registers.
StreamBits move_to_tail(StreamBits in);

inline bool in_stream_tail(const StreamBits& in) {
    return in.end == stream_tail + stream_tail_size;
}

inline StreamBits enter_stream() {
    const int unused = bit_reader.pending_bits;
    StreamBits in;
    in.bits = (static_cast<std::uint64_t>(bit_reader.bit_window) << 48) |
              (static_cast<std::uint64_t>(bit_reader.pending_byte & ((1u << unused) - 1))
               << (48 - unused));
    in.count = 16 + unused;
    in.next = packed_input.cursor - bit_reader.input_fill + bit_reader.input_pos;
    in.end = packed_input.cursor + packed_input.remaining;
    return in;
}

// Hands the view back to the BitReader; count must be 16 or more (stage_bits first).
inline void leave_stream(const StreamBits& in) {
    const int beyond = in.count - 16;
    const int unused = beyond & 7;
    bit_reader.bit_window = static_cast<std::uint32_t>(in.bits >> 48);
    bit_reader.pending_bits = unused;
    bit_reader.pending_byte = static_cast<std::uint32_t>(in.bits >> (48 - unused)) & 0xFFu;
    const unsigned char* next = in.next - (beyond >> 3);
    if (in_stream_tail(in)) {
        const auto taken = static_cast<int>(next - stream_tail);
        if (taken > stream_tail_rest) {
            input_past_end();
            return;
        }
        next = stream_tail_source + taken;
    }
    if (next > packed_input.cursor) {
        catch_up_input(next);
    } else {
        bit_reader.input_pos =
            static_cast<int>(next - (packed_input.cursor - bit_reader.input_fill));
    }
}

// The eight packed bytes at next as one number, the first of them in the top byte.
inline std::uint64_t load_big_endian64(const unsigned char* next) {
    std::uint64_t value;
    std::memcpy(&value, next, sizeof value);
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    return value;
}

// Takes packed bytes until 56 or more bits are held, eight loaded at once. Bits below the whole
// bytes counted are the next stream bits, which a later load puts in again at the same places.
inline void stage_bits(StreamBits& in) {
    if (in.end - in.next < 16) in = move_to_tail(in);
    in.bits |= load_big_endian64(in.next) >> in.count;
    in.next += (63 - in.count) >> 3;
    in.count |= 56;
}

// The next n stream bits (1 to 16), as bit_window >> (16 - n) would give them.
inline std::uint32_t peek_stream(const StreamBits& in, int n) {
    return static_cast<std::uint32_t>(in.bits >> (64 - n));
}

// skip_bits(n) on the fast view, for a loop that stages enough bits for everything it consumes
// before it stages again: count stays at n or above.
inline void drop_stream(StreamBits& in, int n) {
    in.bits <<= n;
    in.count -= n;
}
