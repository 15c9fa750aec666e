// CRC-32: the check value, the bitwise CRC at every length and alignment and when fed in pieces,
// and the carry-less multiplication folding against the tables.
#include "archive/crc32.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

using test::Bytes;

class Crc32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { build_crc_table(); }
};

// Bytes without a short period, so that a byte taken twice or left out changes the CRC.
Bytes noise(std::size_t size) {
    Bytes bytes(size);
    std::uint32_t state = 0x2545F491u;
    for (unsigned char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

// Around every step size and threshold of both ways (8, 16 and 64 bytes), and far beyond them.
constexpr std::uint32_t long_lengths[] = {4096 + 17, 1u << 20};
constexpr std::uint32_t longest = 1u << 20;

// Odd piece sizes, below and above the 64 bytes of one folding step.
constexpr std::uint32_t piece_sizes[] = {1, 63, 64, 65, 15, 200, 17, 4099, 127, 3};

TEST_F(Crc32, CheckValue) {
    const Bytes digits = test::bytes_of("123456789");
    EXPECT_EQ(~crc32_feed(0xFFFFFFFFu, digits.data(), 9), 0xCBF43926u);
    EXPECT_EQ(crc32_feed(0x12345678u, digits.data(), 0), 0x12345678u);
}

// Whichever way this CPU takes, the CRC is the bitwise one at every length and alignment.
TEST_F(Crc32, MatchesTheBitwiseCrcAtEveryLengthAndAlignment) {
    const Bytes data = noise(longest + 16);
    for (std::uint32_t start = 0; start < 16; ++start) {
        for (std::uint32_t length = 0; length <= 300; ++length) {
            const Bytes piece(data.begin() + start, data.begin() + start + length);
            ASSERT_EQ(~crc32_feed(0xFFFFFFFFu, data.data() + start, length), test::crc32_of(piece))
                << "start " << start << " length " << length;
        }
    }
    for (std::uint32_t start : {0u, 7u}) {
        for (std::uint32_t length : long_lengths) {
            const Bytes piece(data.begin() + start, data.begin() + start + length);
            EXPECT_EQ(~crc32_feed(0xFFFFFFFFu, data.data() + start, length), test::crc32_of(piece))
                << "start " << start << " length " << length;
        }
    }
}

// A CRC fed in pieces of odd sizes, one after another, is the CRC of the whole.
TEST_F(Crc32, PiecesFedOneAfterAnotherGiveTheCrcOfTheWhole) {
    const Bytes data = noise(longest);
    std::uint32_t crc = 0xFFFFFFFFu;
    std::uint32_t at = 0;
    for (std::size_t i = 0; at < longest; ++i) {
        const std::uint32_t size = std::min(piece_sizes[i % std::size(piece_sizes)], longest - at);
        crc = crc32_feed(crc, data.data() + at, size);
        at += size;
    }
    EXPECT_EQ(~crc, test::crc32_of(data));
    const Bytes head(data.begin(), data.begin() + 300);
    EXPECT_EQ(~crc32_feed(crc32_feed(0xFFFFFFFFu, data.data(), 13), data.data() + 13, 287),
              test::crc32_of(head));
}

// The folding gives the tables' CRC for any running CRC, length and alignment, also in pieces.
TEST_F(Crc32, FoldingMatchesTheTables) {
#if defined(SFX_CRC_FOLDING)
    if (!crc_folding_supported()) GTEST_SKIP() << "this CPU has no PCLMULQDQ";
    const Bytes data = noise(longest + 16);
    std::vector<std::uint32_t> lengths(std::begin(long_lengths), std::end(long_lengths));
    for (std::uint32_t length = 0; length <= 300; ++length) lengths.push_back(length);
    for (std::uint32_t crc : {0u, 0xFFFFFFFFu, 0x9D2C5680u}) {
        for (std::uint32_t start = 0; start < 16; ++start) {
            const unsigned char* bytes = data.data() + start;
            for (std::uint32_t length : lengths) {
                ASSERT_EQ(crc32_feed_folding(crc, bytes, length),
                          crc32_feed_table(crc, bytes, length))
                    << "crc " << crc << " start " << start << " length " << length;
            }
        }
    }
    std::uint32_t folded = 0xFFFFFFFFu;
    std::uint32_t at = 0;
    for (std::size_t i = 0; at < longest; ++i) {
        const std::uint32_t size =
            std::min(piece_sizes[(i * 3) % std::size(piece_sizes)] * 5, longest - at);
        folded = crc32_feed_folding(folded, data.data() + at, size);
        at += size;
    }
    EXPECT_EQ(folded, crc32_feed_table(0xFFFFFFFFu, data.data(), longest));
#else
    GTEST_SKIP() << "carry-less multiplication folding is built for x86 only";
#endif
}

} // namespace
