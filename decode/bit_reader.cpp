// Bit input: the BitReader state, its refill from PackedInput and its reset before each entry.
// skip_bits, the hot path, and the decoders' register-held StreamBits view are defined in the
// header so that the decoders can inline them.
#include "decode/bit_reader.h"

#include "archive/packed_input.h"
#include "decode/block_decoder.h"

BitReader bit_reader;

std::uint32_t refill_input() {
    bit_reader.input_pos = 0;
    bit_reader.input_fill =
        static_cast<int>(read_packed(bit_reader.input_buffer, input_buffer_size));
    if (bit_reader.input_fill == 0) return 0;
    bit_reader.input_pos = 1;
    return bit_reader.input_buffer[0];
}

// The buffer is full, since packed bytes follow it, and skip_bits refills only when it needs a
// byte: so the byte before next was handed out from the run of 32 starting at a multiple of 32
// past packed_input.cursor, and that run is what input_buffer then holds.
void catch_up_input(const unsigned char* next) {
    const auto ahead = static_cast<std::uint32_t>(next - packed_input.cursor);
    const std::uint32_t run_start = (ahead - 1) / input_buffer_size * input_buffer_size;
    packed_input.cursor += run_start;
    packed_input.remaining -= run_start;
    refill_input();
    bit_reader.input_pos = static_cast<int>(ahead - run_start);
}

unsigned char stream_tail[stream_tail_size];
const unsigned char* stream_tail_source;
int stream_tail_rest;

void input_past_end() {
    const unsigned char* end = packed_input.cursor + packed_input.remaining;
    if (end > packed_input.cursor) catch_up_input(end);
    bit_reader.input_pos = 0;
    bit_reader.input_fill = 0;
}

// Past stream_tail_rest the copy holds only zeros, and the packed data hold no more bytes, so
// going back 32 bytes within it gives the same stream bits.
StreamBits move_to_tail(StreamBits in) {
    if (in_stream_tail(in)) {
        in.next -= 32;
        return in;
    }
    stream_tail_rest = static_cast<int>(in.end - in.next);
    stream_tail_source = in.next;
    std::memset(stream_tail, 0, sizeof stream_tail);
    if (stream_tail_rest)
        std::memcpy(stream_tail, in.next, static_cast<std::size_t>(stream_tail_rest));
    in.next = stream_tail;
    in.end = stream_tail + stream_tail_size;
    return in;
}

// With every field 0, skip_bits(16) takes the first two packed bytes: afterwards bit_window is
// first * 256 + second and pending_bits is 0.
void reset_bits() {
    bit_reader.input_fill = 0;
    bit_reader.input_pos = 0;
    block_remaining = 0;
    bit_reader.bit_window = 0;
    bit_reader.pending_byte = 0;
    bit_reader.pending_bits = 0;
    skip_bits(16);
}
