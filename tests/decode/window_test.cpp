// The decoders' match copies: copy_match for every short distance and length, and long ones, and
// copy_match_wrapping across the Window's end; each equals the plain forward byte copy, and nothing
// behind the match changes.
#include "decode/window.h"

#include "archive/crc32.h"
#include "archive/extract_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

TEST(CopyMatch, EqualsForwardByteCopy) {
    std::vector<unsigned char> start(window_size);
    for (std::size_t i = 0; i < start.size(); ++i) {
        start[i] = static_cast<unsigned char>(i * 31 + (i >> 7));
    }
    const std::uint32_t lengths[] = {3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 64, 100, 255, 256};
    for (std::uint32_t distance = 1; distance <= 40; ++distance) {
        for (std::uint32_t length : lengths) {
            for (std::uint32_t position : {1000u, window_size - length}) {
                std::memcpy(window, start.data(), window_size);
                std::vector<unsigned char> expected = start;
                for (std::uint32_t i = 0; i < length; ++i) {
                    expected[position + i] = expected[position - distance + i];
                }
                copy_match(position, position - distance, length);
                ASSERT_EQ(std::memcmp(window, expected.data(), window_size), 0)
                    << "distance " << distance << " length " << length << " at " << position;
            }
        }
    }
    for (std::uint32_t distance : {100u, 255u, 256u, 257u, 26000u}) {
        std::memcpy(window, start.data(), window_size);
        std::vector<unsigned char> expected = start;
        const std::uint32_t position = window_size - 256;
        for (std::uint32_t i = 0; i < 256; ++i) {
            expected[position + i] = expected[position - distance + i];
        }
        copy_match(position, position - distance, 256);
        ASSERT_EQ(std::memcmp(window, expected.data(), window_size), 0) << distance;
    }
}

// The wrapping copy, piece by piece, against the byte-by-byte copy with its flush and wrap tests:
// the same Window, the same position, the same bytes handed to the sink.
TEST(CopyMatch, WrappingCopyEqualsByteLoop) {
    struct Case {
        std::uint32_t position;
        std::uint32_t r; // the match copies from r + 1 bytes back
        std::uint32_t length;
    };
    const Case cases[] = {
        {26400, 5, 256}, {26620, 2, 10},    {26623, 0, 256},     {0, 26623, 256},
        {3, 9, 20},      {100, 26000, 256}, {26500, 26600, 256}, {26600, 100, 50},
        {10, 10, 256},   {26623, 26623, 3}, {5000, 26623, 256},  {26624 - 3, 26622, 256},
    };
    std::vector<unsigned char> start(window_size);
    for (std::size_t i = 0; i < start.size(); ++i) start[i] = static_cast<unsigned char>(i * 7 + 1);
    std::vector<unsigned char> sink_bytes(2 * window_size);
    build_crc_table();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.position << " " << c.r << " " << c.length);
        std::uint32_t source = c.position + window_size - c.r - 1;
        if (source >= window_size) source -= window_size;

        std::vector<unsigned char> expected = start;
        std::vector<unsigned char> flushed;
        std::uint32_t p = c.position;
        std::uint32_t q = source;
        for (std::uint32_t i = 0; i < c.length; ++i) {
            expected[p] = expected[q];
            if (++p == window_size) {
                flushed.insert(flushed.end(), expected.begin(), expected.end());
                p = 0;
            }
            if (++q == window_size) q = 0;
        }

        std::memcpy(window, start.data(), window_size);
        extract_sink = {};
        extract_sink.capacity = static_cast<std::uint32_t>(sink_bytes.size());
        extract_sink.buffer = sink_bytes.data();
        extract_sink.crc = 0xFFFFFFFFu;
        EXPECT_EQ(copy_match_wrapping(c.position, source, c.length), p);
        EXPECT_EQ(std::memcmp(window, expected.data(), window_size), 0);
        ASSERT_EQ(extract_sink.count, flushed.size());
        EXPECT_TRUE(std::equal(flushed.begin(), flushed.end(), sink_bytes.begin()));
    }
    extract_sink.buffer = nullptr;
}

} // namespace
