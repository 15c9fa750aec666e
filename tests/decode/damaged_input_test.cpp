// Damaged packed data: random bytes, and valid streams with flipped bits or cut short, through both
// decoders. Each decode must end (within the unpacked size's worth of symbols), keep at most the
// sink's capacity, and (under AddressSanitizer) touch nothing outside its arrays.
#include "tests/decode/bit_writer.h"
#include "tests/decode/decode_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using test::Bytes;
using test::Decoder;

Bytes valid_block_stream(std::mt19937& random, std::uint32_t size) {
    test::BlockWriter b;
    b.flat_header(0);
    Bytes out;
    while (out.size() < size) {
        if (out.size() > 10 && random() % 3 == 0) {
            const std::uint32_t length = 3 + random() % 254;
            const std::uint32_t r = random() % std::min<std::size_t>(out.size(), 26624);
            b.match(length, r);
            test::reference_copy(out, length, r + 1);
        } else {
            const auto c = static_cast<unsigned char>(random() % 7 + 'a');
            b.literal(c);
            out.push_back(c);
        }
    }
    return b.finish();
}

Bytes valid_unary_stream(std::mt19937& random, std::uint32_t size) {
    test::BitWriter w;
    std::uint32_t produced = 0;
    while (produced < size) {
        if (produced > 10 && random() % 3 == 0) {
            const std::uint32_t length = 3 + random() % 254;
            test::put_unary_match(w, length,
                                  1 + random() % std::min<std::uint32_t>(produced, 15872));
            produced += length;
        } else {
            test::put_unary_literal(w, static_cast<unsigned char>(random()));
            ++produced;
        }
    }
    return w.finish();
}

TEST(DamagedInput, DecodesEndWithinTheirArrays) {
    std::mt19937 random(77);
    for (int round = 0; round < 400; ++round) {
        const Decoder decoder = round % 2 ? Decoder::unary : Decoder::blocks;
        const std::uint32_t size = 1 + random() % 70000;
        Bytes packed;
        switch (round % 8 / 2) {
        case 0: // random bytes
            packed.resize(random() % 3000);
            for (auto& b : packed) b = static_cast<unsigned char>(random());
            break;
        case 1: // random bytes behind a plausible block size
            packed.resize(2 + random() % 3000);
            for (auto& b : packed) b = static_cast<unsigned char>(random());
            packed[0] = 0;
            break;
        default: { // a valid stream with flipped bits, possibly cut short
            packed = decoder == Decoder::blocks ? valid_block_stream(random, size)
                                                : valid_unary_stream(random, size);
            const int flips = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < flips; ++i) {
                packed[random() % packed.size()] ^=
                    static_cast<unsigned char>(1u << (random() % 8));
            }
            if (random() % 2) packed.resize(random() % packed.size());
            break;
        }
        }
        const std::uint32_t capacity = random() % 4 ? size : random() % (size + 1);
        const auto result = test::run_decoder(decoder, packed, size, capacity);
        ASSERT_LE(result.kept.size(), capacity) << round;
    }
}

} // namespace
