// The unary-code decoder for method 4 (see unary_decoder.h for the codes). Reads the packed stream
// through the accumulator, which takes up to 16 bits from bit_window in one skip_bits call, and
// writes the output into the Window and from there to the sink.
#include "decode/unary_decoder.h"

#include "archive/decode_abort.h"
#include "archive/extract_sink.h"
#include "archive/format.h"
#include "decode/bit_reader.h"
#include "decode/window.h"

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

void run_unary(std::uint32_t unpacked_size) {
    std::uint32_t produced = 0;
    std::uint32_t position = 0;
    do {
        const std::uint32_t code = read_unary_length();
        if (code == 0) {
            window[position] = static_cast<unsigned char>(take_bits(literal_bits));
            ++produced;
            if (++position == window_size) {
                sink_write(window, window_size);
                position = 0;
            }
            continue;
        }
        const std::uint32_t length = code + 2;
        produced += length;
        // At most 15872 bytes back, inside the ring: the sum is below 2 * window_size.
        std::uint32_t source = position + window_size - read_unary_distance() - 1;
        if (source >= window_size) source -= window_size;
        for (std::uint32_t i = 0; i < length; ++i) {
            window[position] = window[source];
            if (++position == window_size) {
                sink_write(window, window_size);
                position = 0;
            }
            if (++source == window_size) source = 0;
        }
    } while (produced < unpacked_size);
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
