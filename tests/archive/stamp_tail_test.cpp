// The tail stamp: where a marker counts, what is copied, and how extraction applies it.
#include "archive/format.h"
#include "archive/stamp_tail.h"
#include "tests/archive/extraction_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using test::Bytes;

// A file of size bytes (filler 0x11) with the marker at each of the given positions.
Bytes file_with_markers(std::size_t size, std::initializer_list<std::size_t> positions) {
    Bytes bytes(size, 0x11);
    for (std::size_t at : positions)
        std::copy(stamp_marker, stamp_marker + stamp_marker_size,
                  bytes.begin() + static_cast<long>(at));
    return bytes;
}

Bytes tail_of(std::size_t length) {
    Bytes tail(length);
    for (std::size_t i = 0; i < length; ++i) tail[i] = static_cast<unsigned char>(0xA0 + i);
    return tail;
}

TEST(StampTail, CopiesTheTailBehindTheFirstMarkerWithAFullSlotAndOneByteMore) {
    struct Case {
        const char* what;
        std::size_t size;
        std::initializer_list<std::size_t> markers;
        std::size_t tail_length;
        long stamped_at; // where the slot starts, or -1 for no change
    };
    const Case cases[] = {
        {"150 bytes are not searched", 150, {0}, 10, -1},
        {"151 bytes: start position 0 only", 151, {0}, 10, 50},
        {"marker 150 bytes before the end", 1000, {850}, 10, -1},
        {"marker 151 bytes before the end", 1000, {849}, 10, 899},
        {"a 3-byte tail overwrites 3 slot bytes", 400, {7}, 3, 57},
        {"a 250-byte tail: its first 100 bytes", 400, {7}, 250, 57},
        {"two markers: only the first", 600, {300, 20}, 100, 70},
        {"no marker", 600, {}, 100, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes original = file_with_markers(c.size, c.markers);
        const Bytes tail = tail_of(c.tail_length);
        Bytes stamped = original;
        stamp_tail(stamped.data(), static_cast<std::uint32_t>(stamped.size()), tail.data(),
                   static_cast<std::uint32_t>(tail.size()));
        Bytes expected = original;
        if (c.stamped_at >= 0) {
            const std::size_t copied = std::min<std::size_t>(c.tail_length, stamp_slot_size);
            std::copy(tail.begin(), tail.begin() + static_cast<long>(copied),
                      expected.begin() + c.stamped_at);
        }
        EXPECT_EQ(stamped, expected);
    }
}

// Every entry holding the marker gets the same tail bytes, the first entry included; the CRC is
// that of the bytes before stamping, so the entries still count as good; an entry that yields
// no bytes is left alone.
TEST_F(ExtractionTest, EveryMarkedEntryGetsTheSameStamp) {
    const Bytes marked = file_with_markers(400, {10});
    test::RawEntry empty = test::stored("empty.bin", {});
    const Bytes tail = test::bytes_of("build 1234");
    const Bytes payload = test::scramble(
        test::archive_of({test::stored("setup.exe", marked), test::stored("a.dat", marked),
                          test::stored("plain.txt", test::bytes_of("no marker here")), empty}),
        tail);
    ASSERT_EQ(extract(payload), 1);
    Bytes expected = marked;
    std::copy(tail.begin(), tail.end(), expected.begin() + 60);
    EXPECT_EQ(test::read_file(first_path), expected);
    EXPECT_EQ(test::read_file(in_dir("a.dat")), expected);
    EXPECT_EQ(test::read_file(in_dir("plain.txt")), test::bytes_of("no marker here"));
    EXPECT_EQ(test::read_file(in_dir("empty.bin")), Bytes{});
}

TEST_F(ExtractionTest, WithoutATailBlockNothingIsStamped) {
    const Bytes marked = file_with_markers(400, {10});
    ASSERT_EQ(extract(test::scramble(test::archive_of({test::stored("setup.exe", marked)}))), 1);
    EXPECT_EQ(test::read_file(first_path), marked);
}

} // namespace
