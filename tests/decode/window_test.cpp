// copy_match, the decoders' fast match copy: for every short distance and length, and long ones,
// the Window afterwards equals a plain forward byte copy, and nothing behind the match changes.
#include "decode/window.h"

#include <gtest/gtest.h>

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

} // namespace
