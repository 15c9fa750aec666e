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
