// Extraction of stored entries into files: names, contents, times, the CRC check and failures.
#include "archive/format.h"
#include "tests/archive/extraction_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using test::Bytes;
namespace fs = std::filesystem;

test::RawEntry entry(const std::string& name, const std::string& text) {
    return test::stored(name, test::bytes_of(text));
}

std::int64_t write_time_seconds(const std::string& path) {
    const auto time = fs::last_write_time(path);
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::file_clock::to_sys(time).time_since_epoch())
        .count();
}

TEST_F(ExtractionTest, WritesEveryEntryUnderItsBaseName) {
    const Bytes payload = test::scramble(test::archive_of({
        entry("ignored\\name.exe", "the setup program"),
        entry("dir\\sub/file.txt", "both separators"),
        entry("a/b\\c", "last separator wins"),
        entry("plain.dat", "no separator"),
    }));
    ASSERT_EQ(extract(payload), 1);
    EXPECT_EQ(test::read_file(first_path), test::bytes_of("the setup program"));
    EXPECT_EQ(test::read_file(in_dir("file.txt")), test::bytes_of("both separators"));
    EXPECT_EQ(test::read_file(in_dir("c")), test::bytes_of("last separator wins"));
    EXPECT_EQ(test::read_file(in_dir("plain.dat")), test::bytes_of("no separator"));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"c", "file.txt", "first.bin", "plain.dat"}));
    EXPECT_EQ(created(),
              (std::vector<std::string>{in_dir("plain.dat"), in_dir("c"), in_dir("file.txt")}));
}

TEST_F(ExtractionTest, FileTimesAreTheDosTimeReadAsUtc) {
    test::RawEntry first = entry("setup.exe", "x");
    first.dos_time = test::dos_time(2001, 9, 9, 1, 46, 40);
    test::RawEntry later = entry("later.txt", "y");
    later.dos_time = test::dos_time(1980, 1, 1, 0, 0, 0);
    test::RawEntry rejected = entry("rejected.txt", "z");
    rejected.dos_time = test::dos_time(2000, 13, 1, 0, 0, 0); // month 13: keeps the system's time

    const auto before = std::chrono::system_clock::now() - std::chrono::minutes(5);
    ASSERT_EQ(extract(test::scramble(test::archive_of({first, later, rejected}))), 1);
    EXPECT_EQ(write_time_seconds(first_path), 1000000000);
    EXPECT_EQ(write_time_seconds(in_dir("later.txt")), 315532800);
    EXPECT_GT(write_time_seconds(in_dir("rejected.txt")),
              std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count());
}

TEST_F(ExtractionTest, ACrcMismatchIsWrittenThenFails) {
    test::RawEntry bad = entry("bad.txt", "damaged content");
    bad.crc32 ^= 1;
    ASSERT_EQ(extract(test::scramble(test::archive_of({entry("setup.exe", "ok"), bad}))), 0);
    EXPECT_EQ(test::read_file(in_dir("bad.txt")), test::bytes_of("damaged content"));
    EXPECT_EQ(created(), std::vector<std::string>{in_dir("bad.txt")});
}

TEST_F(ExtractionTest, EntriesThatYieldNoBytes) {
    struct Case {
        std::uint8_t method;
        std::uint32_t unpacked_size;
        std::uint32_t crc;
        int result;
    };
    const Case cases[] = {
        {0, 0, 0, 1},  // an empty stored file
        {5, 10, 0, 1}, // unknown methods yield nothing: good only with the CRC of nothing
        {255, 0, 0, 1},
        {7, 0, 0x1234, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.method));
        test::RawEntry empty = entry("empty.bin", "");
        empty.method = c.method;
        empty.packed = test::bytes_of("ignored packed data");
        if (c.method == 0) empty.packed.clear();
        empty.unpacked_size = c.unpacked_size;
        empty.crc32 = c.crc;
        TearDown();
        fs::remove_all(dir.path());
        fs::create_directory(dir.path());
        EXPECT_EQ(extract(test::scramble(test::archive_of({entry("setup.exe", "s"), empty}))),
                  c.result);
        EXPECT_EQ(fs::file_size(in_dir("empty.bin")), 0u);
    }
}

// The CRC covers every byte offered, the refused chunk too; an entry whose output overflowed fails
// even when that CRC matches, since its file lacks the refused bytes.
TEST_F(ExtractionTest, StoredDataLongerThanTheUnpackedSizeStopAtTheFirstChunkThatDoesNotFit) {
    test::RawEntry long_entry = test::stored("setup.exe", Bytes(10000, 0x5A));
    long_entry.unpacked_size = 9000; // the CRC is that of all 10000 bytes
    ASSERT_EQ(extract(test::scramble(test::archive_of({long_entry}))), 0);
    EXPECT_EQ(fs::file_size(first_path), stored_chunk_size);
}

TEST_F(ExtractionTest, LaterEntriesReplaceFilesOfTheSameName) {
    test::write_file(in_dir("unrelated.txt"), test::bytes_of("was here before"));
    const Bytes payload = test::scramble(test::archive_of({
        entry("setup.exe", "program"),
        entry("same.txt", "first version"),
        entry("other/same.txt", "second version"),
        entry("unrelated.txt", "replaced"),
        entry("first.bin", "replaces the program file"),
    }));
    ASSERT_EQ(extract(payload), 1);
    EXPECT_EQ(test::read_file(in_dir("same.txt")), test::bytes_of("second version"));
    EXPECT_EQ(test::read_file(in_dir("unrelated.txt")), test::bytes_of("replaced"));
    EXPECT_EQ(test::read_file(first_path), test::bytes_of("replaces the program file"));
    EXPECT_EQ(created(), (std::vector<std::string>{in_dir("first.bin"), in_dir("unrelated.txt"),
                                                   in_dir("same.txt"), in_dir("same.txt")}));
}

TEST_F(ExtractionTest, NamesThatCannotBecomeAFileFail) {
    struct Case {
        std::string name;
    };
    const Case cases[] = {{"folder\\"}, {"folder/"}, {""}, {std::string(300, 'n')}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size() > 20 ? "a very long name" : c.name);
        TearDown();
        fs::remove_all(dir.path());
        fs::create_directory(dir.path());
        const Bytes payload = test::scramble(test::archive_of(
            {entry("setup.exe", "s"), entry("ok.txt", "fine"), entry(c.name, "x")}));
        EXPECT_EQ(extract(payload), 0);
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"first.bin", "ok.txt"}));
        EXPECT_EQ(created(), std::vector<std::string>{in_dir("ok.txt")});
    }
}

TEST_F(ExtractionTest, TheFirstEntrysNameIsNeverUsed) {
    ASSERT_EQ(extract(test::scramble(test::archive_of({entry("", "program"), entry("x", "y")}))),
              1);
    EXPECT_EQ(test::read_file(first_path), test::bytes_of("program"));
}

#if !defined(_WIN32)
// A write that the system cuts short fails the entry; the file stays listed for deletion.
TEST_F(ExtractionTest, AShortWriteFails) {
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = extract(test::scramble(
        test::archive_of({entry("setup.exe", "s"), test::stored("big.bin", Bytes(20000, 1))})));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(created(), std::vector<std::string>{in_dir("big.bin")});
}

#if !defined(__SANITIZE_ADDRESS__)
// A sink buffer that cannot be allocated fails the entry before any byte is written.
TEST_F(ExtractionTest, AnUnpackedSizeThatCannotBeAllocatedFails) {
    test::RawEntry huge = entry("huge.bin", "abc");
    huge.unpacked_size = 0xFFFFFFF0u;
    const Bytes payload = test::scramble(test::archive_of({entry("setup.exe", "s"), huge}));
    const auto extract_with_little_memory = [&] {
        const struct rlimit limit = {512u << 20, 512u << 20};
        setrlimit(RLIMIT_AS, &limit);
        const int result = extract(payload);
        const bool listed = created() == std::vector<std::string>{in_dir("huge.bin")};
        std::exit(result == 0 && listed && fs::file_size(in_dir("huge.bin")) == 0 ? 0 : 1);
    };
    EXPECT_EXIT(extract_with_little_memory(), testing::ExitedWithCode(0), "");
}
#endif
#endif

} // namespace
