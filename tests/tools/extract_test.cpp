// sfxkit extract: the files, their contents and times, the names they get, and that a refused or
// failed extraction leaves nothing behind.
#include "tests/tools/inspect_fixture.h"
#include "tools/inspect.h"

#include <chrono>

using namespace inspect_test;
using test::Bytes;
namespace fs = std::filesystem;

namespace {

class ExtractTest : public InspectTest {
  protected:
    test::TempDir out;

    // Seconds since 1970 of a file's last write.
    static std::int64_t write_time(const fs::path& path) {
        const auto file_time = fs::last_write_time(path);
        const auto system = std::chrono::file_clock::to_sys(file_time);
        return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    }
};

TEST_F(ExtractTest, WritesEveryEntryUnderItsBaseName) {
    test::RawEntry setup = test::stored("bin\\setup.exe", test::bytes_of("the program"));
    setup.dos_time = test::dos_time(2001, 2, 3, 4, 5, 6);
    test::RawEntry marked = test::stored("dir\\sub/file.txt", marked_data());
    test::RawEntry other = test::stored("a/b\\c", test::bytes_of("c's bytes"));
    const Bytes tail = test::bytes_of("STAMP");
    const std::string path = package_of({setup, marked, other, test::stored("e", {})}, tail);

    EXPECT_EQ(extract_package(path, out.path().string(), std::nullopt), 4);
    EXPECT_EQ(out.names(), (std::vector<std::string>{"c", "e", "file.txt", "setup.exe"}));
    EXPECT_EQ(test::read_file(out.path() / "setup.exe"), test::bytes_of("the program"));
    EXPECT_EQ(test::read_file(out.path() / "c"), test::bytes_of("c's bytes"));
    EXPECT_TRUE(test::read_file(out.path() / "e").empty());
    Bytes stamped = marked_data();
    std::copy(tail.begin(), tail.end(), stamped.begin() + 70);
    EXPECT_EQ(test::read_file(out.path() / "file.txt"), stamped);

    // The DOS times, read as UTC: 2001-02-03 04:05:06 and 2025-04-11 13:33:20.
    EXPECT_EQ(write_time(out.path() / "setup.exe"), 981173106);
    EXPECT_EQ(write_time(out.path() / "c"), 1744378400);
}

TEST_F(ExtractTest, DirectoryWithSeparatorAndTheCurrentDirectory) {
    const std::string path = package_of({test::stored("setup.exe", {1}), test::stored("x", {2})});
    EXPECT_EQ(extract_package(path, out.with_separator(), std::nullopt), 2);
    EXPECT_EQ(out.names(), (std::vector<std::string>{"setup.exe", "x"}));

    test::TempDir here;
    const fs::path previous = fs::current_path();
    fs::current_path(here.path());
    const int extracted = extract_package(path, "", std::nullopt);
    fs::current_path(previous);
    EXPECT_EQ(extracted, 2);
    EXPECT_EQ(here.names(), (std::vector<std::string>{"setup.exe", "x"}));
}

TEST_F(ExtractTest, LaterEntryOfTheSameNameReplacesTheEarlierOne) {
    const std::string path = package_of({test::stored("setup.exe", {1}), test::stored("x", {2}),
                                         test::stored("d/x", {3}), test::stored("setup.exe", {4})});
    extract_package(path, out.path().string(), std::nullopt);
    EXPECT_EQ(out.names(), (std::vector<std::string>{"setup.exe", "x"}));
    EXPECT_EQ(test::read_file(out.path() / "x"), Bytes{3});
    EXPECT_EQ(test::read_file(out.path() / "setup.exe"), Bytes{4});
}

TEST_F(ExtractTest, RefusesUnsafeNamesBeforeWritingAnything) {
    const test::RawEntry setup = test::stored("setup.exe", {1});
    struct Case {
        std::vector<test::RawEntry> entries;
        std::string error;
    };
    const Case cases[] = {
        {{test::stored("", {1})}, "entry 1 (): its name is empty"},
        {{test::stored("dir/", {1})}, "entry 1 (dir/): its base name is empty"},
        {{setup, test::stored("ok", {2}), test::stored("a\\/", {})}, "entry 3 (a\\/)"},
        {{setup, test::stored("..", {})}, "names a directory"},
        {{setup, test::stored("x\\.", {})}, "names a directory"},
        {{setup, test::stored("/", {})}, "its base name is empty"},
        {{setup, test::stored(std::string(300, 'n'), {})}, "too long"},
        {{setup, test::stored(std::string(250, 'n'), {})}, "is longer than 259 bytes"},
    };
    for (const Case& c : cases) {
        const std::string path = package_of(c.entries);
        const std::string error =
            error_of([&] { extract_package(path, out.path().string(), std::nullopt); });
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_NE(error.find("nothing extracted"), std::string::npos) << error;
        EXPECT_TRUE(out.names().empty()) << error;
    }
}

TEST_F(ExtractTest, AFailedEntryRemovesEverythingWritten) {
    test::RawEntry bad = test::stored("third.bin", test::bytes_of("third"));
    bad.crc32 ^= 1;
    const std::string crc_path =
        package_of({test::stored("setup.exe", {1}), test::stored("second.bin", {2}), bad}, {'t'});
    std::string error =
        error_of([&] { extract_package(crc_path, out.path().string(), std::nullopt); });
    EXPECT_NE(error.find("entry 3 (third.bin): CRC-32 mismatch"), std::string::npos) << error;
    EXPECT_NE(error.find("nothing extracted"), std::string::npos) << error;
    EXPECT_TRUE(out.names().empty());

    // An entry that runs past the payload (no end marker) is found before anything is written.
    Bytes payload = test::scramble(
        test::archive_of({test::stored("setup.exe", {1}), test::stored("y", {2, 3})}));
    payload.resize(payload.size() - 5);
    const std::string cut = write_package(payload, "cut.exe");
    error = error_of([&] { extract_package(cut, out.path().string(), std::nullopt); });
    EXPECT_NE(error.find("entry 2"), std::string::npos) << error;
    EXPECT_TRUE(out.names().empty());
}

TEST_F(ExtractTest, NeverReplacesAnExistingFile) {
    test::write_file(out.path() / "x", test::bytes_of("mine"));
    const std::string path = package_of({test::stored("setup.exe", {1}), test::stored("d/x", {2})});
    const std::string error =
        error_of([&] { extract_package(path, out.path().string(), std::nullopt); });
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(out.names(), std::vector<std::string>{"x"});
    EXPECT_EQ(test::read_file(out.path() / "x"), test::bytes_of("mine"));
}

TEST_F(ExtractTest, MissingDirectoryIsReported) {
    const std::string path = package_of({test::stored("setup.exe", {1})});
    const std::string missing = (out.path() / "missing").string();
    EXPECT_EQ(error_of([&] { extract_package(path, missing, std::nullopt); }),
              missing + ": no such directory");
}

#if defined(_WIN32)
TEST_F(ExtractTest, RefusesNamesWindowsWouldNotStoreAsFiles) {
    const char* const names[] = {"a:b", "CON", "nul.txt", "com1", "trailing.", "what?"};
    for (const char* name : names) {
        const std::string path =
            package_of({test::stored("setup.exe", {1}), test::stored(name, {})});
        const std::string error =
            error_of([&] { extract_package(path, out.path().string(), std::nullopt); });
        EXPECT_NE(error.find("nothing extracted"), std::string::npos) << name << ": " << error;
        EXPECT_TRUE(out.names().empty()) << name;
    }
}
#endif

} // namespace
