// Decoder fixture: drives reset_bits and a decoder over hand-made packed bytes.
#include "tests/decode/decode_fixture.h"

#include "archive/crc32.h"
#include "archive/extract_sink.h"
#include "archive/packed_input.h"
#include "decode/bit_reader.h"
#include "decode/block_decoder.h"
#include "decode/unary_decoder.h"

namespace test {

void start_bit_input(const Bytes& packed) {
    packed_input.cursor = packed.data();
    packed_input.remaining = static_cast<std::uint32_t>(packed.size());
    reset_bits();
}

DecodeResult run_decoder(Decoder decoder, const Bytes& packed, std::uint32_t unpacked_size,
                         std::uint32_t capacity) {
    // Exactly sized, so that AddressSanitizer sees any read past the packed bytes.
    const Bytes input(packed.begin(), packed.end());
    Bytes buffer(capacity ? capacity : 1);
    build_crc_table();
    extract_sink = {};
    extract_sink.capacity = capacity;
    extract_sink.count = 0;
    extract_sink.buffer = buffer.data();
    extract_sink.crc = 0xFFFFFFFFu;
    start_bit_input(input);
    if (decoder == Decoder::blocks) {
        decode_blocks(unpacked_size);
    } else {
        decode_unary(unpacked_size);
    }
    DecodeResult result;
    result.kept.assign(buffer.begin(), buffer.begin() + extract_sink.count);
    result.offered_crc = ~extract_sink.crc;
    result.overflowed = extract_sink.overflowed;
    extract_sink.buffer = nullptr;
    return result;
}

void reference_copy(Bytes& out, std::uint32_t length, std::uint32_t back) {
    for (std::uint32_t i = 0; i < length; ++i) out.push_back(out[out.size() - back]);
}

} // namespace test
