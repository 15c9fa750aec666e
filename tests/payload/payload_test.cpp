// Loading the payload from a package file and removing its keystream.
#include "archive/entry_walk.h"
#include "payload/keystream.h"
#include "payload/load_payload.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using test::Bytes;

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using Image = std::unique_ptr<unsigned char, FreeDeleter>;

TEST(Keystream, FirstKeyBytesFromTheSeed) {
    // Scrambling zeros shows the key bytes themselves.
    Bytes zeros(8, 0);
    apply_keystream(zeros.data(), 8);
    EXPECT_EQ(zeros, (Bytes{0xA6, 0x69, 0x39, 0x7F, 0x86, 0xE9, 0x5A, 0x3E}));
}

TEST(Keystream, StateIsCarriedInFull32Bits) {
    // Far into the stream the key still follows the full 32-bit recurrence.
    Bytes bytes(100000, 0);
    apply_keystream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    std::uint32_t state = 51829;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        state = state * 214013u + 2531011u;
        ASSERT_EQ(bytes[i], (state >> 7) & 0xFF) << "position " << i;
    }
}

TEST(Keystream, ApplyingTwiceRestoresTheBytes) {
    const Bytes original = test::bytes_of("any bytes at all, scrambled and back again");
    Bytes bytes = original;
    apply_keystream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_NE(bytes, original);
    apply_keystream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(bytes, original);
}

TEST(Keystream, TailComesOutAsStoredWhereverTheArchiveEnds) {
    const Bytes archive_bytes = test::archive_of({test::stored("a.txt", test::bytes_of("hello"))});
    for (std::size_t archive_end :
         {std::size_t{0}, std::size_t{1}, std::size_t{17}, archive_bytes.size()}) {
        SCOPED_TRACE(archive_end);
        const Bytes archive(archive_bytes.begin(),
                            archive_bytes.begin() + static_cast<long>(archive_end));
        const Bytes tail = test::bytes_of("tail block, stored plain");
        Bytes image = test::image_of(test::scramble(archive, tail));
        const auto length = static_cast<std::uint32_t>(archive.size() + tail.size());
        restore_tail(image.data(), length, static_cast<std::uint32_t>(archive_end));
        EXPECT_EQ(Bytes(image.begin(), image.begin() + static_cast<long>(archive_end)), archive);
        EXPECT_EQ(Bytes(image.begin() + static_cast<long>(archive_end), image.begin() + length),
                  tail);
    }
}

TEST(Keystream, RestoreTailChangesNothingWithoutATail) {
    Bytes image = test::bytes_of("0123456789");
    const Bytes before = image;
    restore_tail(image.data(), 10, 10);
    EXPECT_EQ(image, before);
}

class LoadPayload : public testing::Test {
  protected:
    test::TempDir dir;
    std::string path = (dir.path() / "package.exe").string();

    Image load(std::uint32_t offset, std::uint32_t* length) {
        return Image(load_payload(path.c_str(), offset, length));
    }
};

TEST_F(LoadPayload, ReadsFromTheOffsetAndRemovesTheKeystream) {
    const Bytes stub(300, 0xCC);
    const Bytes archive = test::archive_of({test::stored("a", test::bytes_of("content"))});
    Bytes file = stub;
    const Bytes payload = test::scramble(archive);
    file.insert(file.end(), payload.begin(), payload.end());
    test::write_file(path, file);

    std::uint32_t length = 0;
    Image image = load(300, &length);
    ASSERT_TRUE(image);
    EXPECT_EQ(length, archive.size());
    EXPECT_EQ(Bytes(image.get(), image.get() + length), archive);

    // The keystream depends on position alone: a second load gives the same image.
    std::uint32_t again_length = 0;
    Image again = load(300, &again_length);
    ASSERT_TRUE(again);
    EXPECT_EQ(Bytes(again.get(), again.get() + again_length), archive);
}

TEST_F(LoadPayload, NeedsAtLeastTenPayloadBytes) {
    test::write_file(path, Bytes(110, 0x41));
    std::uint32_t length = 12345;
    Image exact = load(100, &length);
    ASSERT_TRUE(exact);
    EXPECT_EQ(length, 10u);

    length = 12345;
    EXPECT_FALSE(load(101, &length));
    EXPECT_EQ(length, 12345u) << "nothing is stored on failure";
}

TEST_F(LoadPayload, RefusesMissingFilesAndOffsetsPastTheEnd) {
    std::uint32_t length = 0;
    EXPECT_FALSE(load(0, &length)); // no such file
    test::write_file(path, Bytes(64, 0));
    EXPECT_FALSE(load(0xFFFFFFFFu, &length)); // offset + 10 must not wrap around
    EXPECT_FALSE(load(0xFFFFFFF8u, &length));
    EXPECT_FALSE(load(64, &length));
}

} // namespace
