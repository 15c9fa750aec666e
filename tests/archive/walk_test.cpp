// The archive walk: where the archive ends, and which payloads extraction accepts.
#include "archive/entry_walk.h"
#include "tests/archive/extraction_fixture.h"

#include <gtest/gtest.h>

namespace {

using test::Bytes;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

test::RawEntry entry(const std::string& name, const std::string& text) {
    return test::stored(name, test::bytes_of(text));
}

// An entry whose stored packed size claims one byte more than the payload holds.
Bytes truncated_entry() {
    Bytes bytes = test::entry_bytes(entry("cut.txt", "truncated"));
    bytes.pop_back();
    return bytes;
}

struct WalkCase {
    const char* what;
    Bytes archive; // scrambled in the package
    Bytes tail;    // plain in the package
    std::uint32_t archive_end;
    int extraction;
};

class Walk : public ExtractionTest, public testing::WithParamInterface<int> {};

std::vector<WalkCase> walk_cases() {
    const Bytes one = test::entry_bytes(entry("one.txt", "first entry"));
    const Bytes two = test::entry_bytes(entry("two.txt", "second entry"));
    const Bytes marker = test::end_marker();
    auto size = [](const Bytes& b) { return static_cast<std::uint32_t>(b.size()); };

    test::RawEntry huge_s = entry("s.txt", "x");
    huge_s.basic_size_override = 0xFFFF;
    test::RawEntry huge_e = entry("e.txt", "x");
    huge_e.extended_header.assign(3, 0); // E is patched to 0xFFFF below
    Bytes huge_e_bytes = test::entry_bytes(huge_e);
    const std::size_t e_at = 4 + (huge_e_bytes[2] | huge_e_bytes[3] << 8) + 4;
    huge_e_bytes[e_at] = 0xFF;
    huge_e_bytes[e_at + 1] = 0xFF;
    Bytes huge_p = one;
    for (int i = 0; i < 4; ++i) huge_p[4 + 12 + i] = 0xFF; // packed size 0xFFFFFFFF

    std::vector<WalkCase> cases = {
        {"two entries and an end marker", one + two + marker, {}, size(one + two + marker), 1},
        {"end marker with a tail block", one + marker, test::bytes_of("TAIL"), size(one + marker),
         1},
        {"end marker first", marker + one, test::bytes_of("rest"), 4, 0},
        {"no header id", test::bytes_of("MZ this is not an archive"), {}, 25, 0},
        {"no end marker, exact end", one + two, {}, size(one + two), 1},
        {"no end marker, trailing junk", one + test::bytes_of("junk junk"), {}, size(one) + 9, 1},
        {"trailing header id without room for its size",
         one + Bytes{0x60, 0xEA},
         {},
         size(one) + 2,
         1},
        {"an entry one byte too long",
         one + truncated_entry(),
         {},
         size(one + truncated_entry()),
         0},
        {"an entry one byte too long before an end marker", one + truncated_entry() + marker,
         test::bytes_of("tail"), size(one + truncated_entry() + marker) + 4, 0},
        {"basic header size 0xFFFF",
         test::entry_bytes(huge_s) + marker,
         {},
         size(test::entry_bytes(huge_s) + marker),
         0},
        {"extended header size 0xFFFF", huge_e_bytes + marker, {}, size(huge_e_bytes + marker), 0},
        {"packed size 0xFFFFFFFF", huge_p + marker, {}, size(huge_p + marker), 0},
    };
    return cases;
}

TEST_P(Walk, FindsTheArchiveEndAndAppliesTheEntryRules) {
    const WalkCase c = walk_cases()[static_cast<std::size_t>(GetParam())];
    SCOPED_TRACE(c.what);
    const Bytes payload = test::scramble(c.archive, c.tail);
    Bytes walk_image = test::image_of(payload);
    EXPECT_EQ(find_archive_end(walk_image.data(), static_cast<std::uint32_t>(payload.size())),
              c.archive_end);
    EXPECT_EQ(extract(payload), c.extraction);
}

INSTANTIATE_TEST_SUITE_P(Payloads, Walk, testing::Range(0, 12));

} // namespace
