// The exact streams of both formats for small inputs whose packed bytes are known.
#include "encode/bit_writer.h"
#include "encode/block_encoder.h"
#include "encode/compress.h"
#include "encode/unary_encoder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes unary_stream(const std::vector<Token>& tokens) {
    BitWriter out;
    for (const Token& t : tokens) write_unary_token(out, t);
    return out.finish();
}

TEST(UnaryFormat, KnownStreams) {
    // abc as literals, then 9 bytes from 3 back.
    EXPECT_EQ(unary_stream({{0, 'a'}, {0, 'b'}, {0, 'c'}, {9, 2}}),
              (Bytes{0x30, 0x98, 0x8C, 0x7C, 0x00, 0x20}));
    // A, then 3 bytes from 1 back.
    EXPECT_EQ(unary_stream({{0, 'A'}, {3, 0}}), (Bytes{0x20, 0xC0, 0x00}));
    // Largest codes: length code 254 is 1111111 1111111, distance code 15871 is 1111 and
    // thirteen ones; distance code 512 is 10 0000000000.
    EXPECT_EQ(unary_stream({{256, 15871}}), (Bytes{0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(unary_stream({{3, 512}}), (Bytes{0x90, 0x00}));
    // The greedy, lazy and minimum-cost parses all find the same tokens here.
    for (Effort effort : {Effort::fast, Effort::normal, Effort::best})
        EXPECT_EQ(compress(bytes("abcabcabcabc"), 4, effort),
                  (Bytes{0x30, 0x98, 0x8C, 0x7C, 0x00, 0x20}));
}

TEST(UnaryFormat, CodeCostsFollowTheFormat) {
    const std::uint32_t length_bits[][2] = {{3, 3},   {4, 3},    {5, 5},    {8, 5},   {9, 7},
                                            {16, 7},  {17, 9},   {32, 9},   {33, 11}, {64, 11},
                                            {65, 13}, {128, 13}, {129, 14}, {256, 14}};
    for (const auto& [length, bits] : length_bits) EXPECT_EQ(unary_length_bits(length), bits);
    const std::uint32_t distance_bits[][2] = {{1, 10},    {512, 10},  {513, 12},  {1536, 12},
                                              {1537, 14}, {3584, 14}, {3585, 16}, {7680, 16},
                                              {7681, 17}, {15872, 17}};
    for (const auto& [distance, bits] : distance_bits)
        EXPECT_EQ(unary_distance_bits(distance), bits);
    for (std::uint32_t length = 3; length <= 256; ++length) {
        BitWriter out;
        write_unary_token(out, {static_cast<std::uint16_t>(length), 0});
        EXPECT_EQ(out.bit_count(), unary_length_bits(length) + unary_distance_bits(1));
    }
}

TEST(BlockFormat, KnownStream) {
    // One block of four symbols: literals a, b, c and 9 bytes from 3 back. Its code-length code
    // has symbols 2 and 4 of one bit each (with the 2-bit zero run after the third length), the
    // literal/length code gives 97, 98, 99 and 262 two bits each, and the distance code is the
    // single-code form of class 2.
    const Bytes expected = {0x00, 0x04, 0x28, 0x05, 0x30, 0x71, 0x37, 0x91, 0xD0, 0x08, 0x6C};
    BitWriter out;
    const std::vector<Token> tokens = {{0, 'a'}, {0, 'b'}, {0, 'c'}, {9, 2}};
    write_block(out, tokens);
    EXPECT_EQ(out.finish(), expected);
    for (Effort effort : {Effort::fast, Effort::normal, Effort::best})
        for (int method : {1, 2, 3})
            EXPECT_EQ(compress(bytes("abcabcabcabc"), method, effort), expected);
}

TEST(BlockFormat, SingleCodeForms) {
    // One literal symbol and no match: the code-length code and the literal/length code in
    // single-code form (value 'x'), the distance code in single-code form too; no symbol bits.
    BitWriter out;
    write_block(out, std::vector<Token>(5, Token{0, 'x'}));
    // 16 bits count 5, 00000 00000, 000000000 001111000, 00000 00000.
    EXPECT_EQ(out.bit_count(), 16u + 10 + 18 + 10);
    const Bytes expected = {0x00, 0x05, 0x00, 0x00, 0x07, 0x80, 0x00};
    EXPECT_EQ(out.finish(), expected);
}

TEST(BlockFormat, DistanceClasses) {
    EXPECT_EQ(distance_class(0), 0u);
    EXPECT_EQ(distance_class(1), 1u);
    EXPECT_EQ(distance_class(2), 2u);
    EXPECT_EQ(distance_class(3), 2u);
    EXPECT_EQ(distance_class(4), 3u);
    EXPECT_EQ(distance_class(16383), 14u);
    EXPECT_EQ(distance_class(16384), 15u);
    EXPECT_EQ(distance_class(26623), 15u);
}

TEST(Compress, EmptyInputGivesAnEmptyStream) {
    for (int method = 1; method <= 4; ++method)
        EXPECT_TRUE(compress({}, method, Effort::normal).empty());
    EXPECT_THROW(compress(bytes("a"), 5, Effort::normal), std::invalid_argument);
}

} // namespace
