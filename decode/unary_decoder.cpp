// The unary-code decoder for method 4 (see unary_decoder.h for the codes). Produces the entry's
// bytes in the Window and from there in the sink.
//
// read_unary_length and read_unary_distance take their bits through the accumulator, which gets
// up to 16 bits from bit_window in one skip_bits call. The symbol loop of decode_unary reads the
// same stream through a register-held StreamBits (bit_reader.h) instead, one 16-bit peek per code:
// both hand out the stream bits in order, each once, so they read the same codes, and the
// BitReader is handed back at the end.
#include "decode/unary_decoder.h"

#include "archive/decode_abort.h"
#include "archive/extract_sink.h"
#include "archive/format.h"
#include "decode/bit_reader.h"
#include "decode/window.h"

#include <bit>

std::uint16_t accumulator;
int held_bits;

namespace {

constexpr int literal_bits = 8;
constexpr int length_prefix_limit = 7;
constexpr int distance_prefix_limit = 4;
constexpr int distance_base_bits = 9;

// Takes the next k stream bits (1 to 13). When fewer than k are held, the refill puts the top
// 16 - held_bits bits of bit_window right below the unused ones and consumes exactly those; the
// rest stay in bit_window for the next refill, so every stream bit is used once, in order.
inline std::uint32_t take_bits(int k) {
    if (held_bits < k) {
        accumulator =
            static_cast<std::uint16_t>(accumulator | (bit_reader.bit_window >> held_bits));
        skip_bits(16 - held_bits);
        held_bits = 16;
    }
    const std::uint32_t value = static_cast<std::uint32_t>(accumulator) >> (16 - k);
    accumulator = static_cast<std::uint16_t>(accumulator << k);
    held_bits -= k;
    return value;
}

// The number of 1 bits before the first 0 bit, at most limit; at the limit no 0 bit follows.
inline int read_prefix(int limit) {
    int k = 0;
    while (k < limit && take_bits(1) != 0) ++k;
    return k;
}

// A length code from the StreamBits: prefix and remainder from one 16-bit peek (at most 14 bits);
// for a literal (code 0) its byte too, in *literal.
inline std::uint32_t stream_length(StreamBits& in, std::uint32_t* literal) {
    const std::uint32_t top = peek_stream(in, 16);
    if ((top & 0x8000u) == 0) {
        *literal = (top >> 7) & 0xFFu;
        drop_stream(in, 1 + literal_bits);
        return 0;
    }
    int k = std::countl_one(static_cast<std::uint16_t>(top));
    int prefix = k + 1;
    if (k >= length_prefix_limit) prefix = k = length_prefix_limit;
    const std::uint32_t x = (top >> (16 - prefix - k)) & ((1u << k) - 1);
    drop_stream(in, prefix + k);
    return (1u << k) - 1 + x;
}

// A distance code from the StreamBits: the prefix, then 9 to 13 remainder bits.
inline std::uint32_t stream_distance(StreamBits& in) {
    const std::uint32_t top = peek_stream(in, 16);
    int k = std::countl_one(static_cast<std::uint16_t>(top));
    int prefix = k + 1;
    if (k >= distance_prefix_limit) prefix = k = distance_prefix_limit;
    const int width = distance_base_bits + k;
    std::uint32_t x;
    if (prefix + width <= 16) { // all but the longest class: one consume
        x = (top >> (16 - prefix - width)) & ((1u << width) - 1);
        drop_stream(in, prefix + width);
    } else {
        drop_stream(in, prefix);
        x = peek_stream(in, width);
        drop_stream(in, width);
    }
    return 512u * ((1u << k) - 1) + x;
}

// The longest code with its distance: a length code of 14 bits and a distance code of 17.
constexpr int longest_step_bits = 31;

// One code and what it makes: a literal byte in the Window, or a match copied there.
inline void unary_step(StreamBits& bits, std::uint32_t& position, std::uint32_t& produced) {
    std::uint32_t literal = 0;
    const std::uint32_t code = stream_length(bits, &literal);
    if (code == 0) {
        position = put_byte(position, static_cast<unsigned char>(literal));
        ++produced;
        return;
    }
    const std::uint32_t length = code + 2;
    produced += length;
    // At most 15872 bytes back, well inside the ring.
    position = copy_match_from(position, stream_distance(bits), length);
}

// Kept out of decode_unary: a function that calls setjmp keeps its values in memory.
[[gnu::noinline]] void run_unary(std::uint32_t unpacked_size) {
    std::uint32_t produced = 0;
    std::uint32_t position = 0;
    StreamBits bits = enter_stream();
    do {
        // One stage gives 56 bits or more: up to three codes (three literals) without another.
        stage_bits(bits);
        do {
            unary_step(bits, position, produced);
        } while (bits.count >= longest_step_bits && produced < unpacked_size);
    } while (produced < unpacked_size);
    stage_bits(bits);
    leave_stream(bits);
    if (position != 0) sink_write(window, position);
}

} // namespace

std::uint32_t read_unary_length() {
    const int k = read_prefix(length_prefix_limit);
    if (k == 0) return 0;
    return (1u << k) - 1 + take_bits(k);
}

std::uint32_t read_unary_distance() {
    const int k = read_prefix(distance_prefix_limit);
    return 512u * ((1u << k) - 1) + take_bits(distance_base_bits + k);
}

// A DecodeAbort from sink_write returns here: no further bit is taken, no byte written, and the
// final flush is not made.
void decode_unary(std::uint32_t unpacked_size) {
    if (setjmp(decode_abort_point) != 0) return;
    accumulator = 0;
    held_bits = 0;
    if (unpacked_size == 0) return;
    run_unary(unpacked_size);
}
