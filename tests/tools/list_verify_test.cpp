// sfxkit list and verify: the listing's lines, and the verdict on good and damaged packages.
#include "tests/tools/inspect_fixture.h"
#include "tools/inspect.h"

#include <cstdio>
#include <sstream>

using namespace inspect_test;
using test::Bytes;

namespace {

std::string hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

class ListTest : public InspectTest {};

TEST_F(ListTest, ListsEveryEntryAndTheTail) {
    test::RawEntry setup = test::stored("bin\\setup\x7f.exe", test::bytes_of("hello setup"));
    test::RawEntry marked = test::stored("dir\\sub/readme.txt", marked_data());
    marked.dos_time = test::dos_time(1999, 12, 31, 23, 59, 58);
    test::RawEntry empty = test::stored("empty.dat", {});
    empty.dos_time = 0; // day 0: no valid date
    test::RawEntry unknown = test::stored("odd", {});
    unknown.method = 7;
    const std::string path = package_of({setup, marked, empty, unknown}, test::bytes_of("TAIL!"));

    std::ostringstream out;
    list_package(path, std::nullopt, out);
    EXPECT_EQ(
        out.str(),
        "method      packed        size  crc32     date                 stamp  name\n"
        "     0          11          11  " +
            hex(setup.crc32) +
            "  2025-04-11 13:33:20  no     bin\\setup\\x7f.exe\n"
            "     0         200         200  " +
            hex(marked.crc32) +
            "  1999-12-31 23:59:58  yes    dir\\sub/readme.txt\n"
            "     0           0           0  00000000  invalid 0x00000000   no     empty.dat\n"
            "     7           0           0  00000000  2025-04-11 13:33:20  no     odd\n"
            "tail block: 5 bytes\n");
}

TEST_F(ListTest, SaysWhenThereIsNoEndMarker) {
    std::ostringstream out;
    list_package(package_of({test::stored("setup.exe", {1, 2, 3})}, {}, false), std::nullopt, out);
    EXPECT_NE(out.str().find("\ntail block: 0 bytes (no end marker)\n"), std::string::npos);
}

TEST_F(ListTest, ListsWhatItCanOfARejectedArchive) {
    test::RawEntry bad = test::stored("second.txt", test::bytes_of("data"));
    bad.crc32 ^= 1;
    test::RawEntry third = test::stored("third.txt", test::bytes_of("more"));
    const std::string path = package_of({test::stored("setup.exe", {1}), bad, third});
    std::ostringstream out;
    const std::string error = error_of([&] { list_package(path, std::nullopt, out); });
    EXPECT_EQ(error, path +
                         ": the launcher would reject it: entry 2 (second.txt): CRC-32 "
                         "mismatch: the header says " +
                         hex(bad.crc32) + ", the unpacked bytes give " + hex(bad.crc32 ^ 1));
    // The header line, both entries up to the bad one, and the tail line.
    std::istringstream lines(out.str());
    std::vector<std::string> listed;
    for (std::string line; std::getline(lines, line);) listed.push_back(line);
    ASSERT_EQ(listed.size(), 4u) << out.str();
    EXPECT_NE(listed[2].find("second.txt"), std::string::npos);
    EXPECT_EQ(listed[3], "tail block: 0 bytes");
}

// What verify says about damaged packages: the first problem, with the entry's number and name.
class VerifyTest : public InspectTest {};

TEST_F(VerifyTest, AcceptsAGoodPackage) {
    test::RawEntry stamped = test::stored("sub/stamped.bin", marked_data());
    test::RawEntry unknown = test::stored("unknown.bin", {});
    unknown.method = 9; // yields no bytes, so CRC 0 is right
    const std::string path = package_of({test::stored("setup.exe", test::bytes_of("program")),
                                         stamped, unknown, test::stored("empty", {})},
                                        Bytes(250, 'T'));
    EXPECT_EQ(error_of([&] { verify_package(path, std::nullopt); }), "");
    // No end marker: the entries still decide.
    EXPECT_EQ(error_of([&] {
                  verify_package(package_of({test::stored("setup.exe", {1})}, {}, false),
                                 std::nullopt);
              }),
              "");
}

TEST_F(VerifyTest, NamesTheFirstProblem) {
    const test::RawEntry setup = test::stored("setup.exe", test::bytes_of("program"));
    const Bytes good_archive =
        test::archive_of({setup, test::stored("two.txt", test::bytes_of("second file"))});
    test::RawEntry crc = test::stored("two.txt", test::bytes_of("second file"));
    crc.crc32 ^= 0x80000000u;
    test::RawEntry unknown = test::stored("three.bin", {});
    unknown.method = 6;
    unknown.crc32 = 1;
    Bytes truncated = test::scramble(good_archive);
    truncated.resize(truncated.size() - 7); // into the second entry's data

    struct Case {
        const char* what;
        Bytes payload;
        std::string error;
    };
    const Case cases[] = {
        {"CRC mismatch", test::scramble(test::archive_of({setup, crc})),
         "entry 2 (two.txt): CRC-32 mismatch"},
        {"unknown method", test::scramble(test::archive_of({setup, crc, unknown})),
         "entry 2 (two.txt)"},
        {"unknown method last",
         test::scramble(test::archive_of({setup, test::stored("two", {}), unknown})),
         "entry 3 (three.bin): CRC-32 mismatch: the header says 00000001, the unpacked bytes "
         "give 00000000 (method 6 is not one the stub unpacks)"},
        {"truncated", truncated,
         "entry 2 (at payload offset " + std::to_string(test::entry_bytes(setup).size()) +
             "): its header or data run past the end of the archive"},
        {"no header id", Bytes(64, 0x11), "does not begin with an archive entry"},
        {"only the end marker", test::scramble(test::archive_of({}), Bytes(20, 'x')),
         "holds no entries"},
        {"empty base name", test::scramble(test::archive_of({setup, test::stored("dir\\", {})})),
         "entry 2 (dir\\): its base name is empty"},
        {"dot dot", test::scramble(test::archive_of({setup, test::stored("a/..", {})})),
         "entry 2 (a/..): its base name \"..\" names a directory"},
        {"refused by Windows", test::scramble(test::archive_of({setup, test::stored("why?", {})})),
         "entry 2 (why?): its base name holds a character that Windows does not allow"},
    };
    for (const Case& c : cases) {
        const std::string path = write_package(c.payload);
        const std::string error = error_of([&] { verify_package(path, std::nullopt); });
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << c.what << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.what;
    }
}

TEST_F(VerifyTest, TheFirstEntrysNameDoesNotMatter) {
    EXPECT_EQ(error_of([&] {
                  verify_package(package_of({test::stored("", {1}), test::stored("x", {2})}),
                                 std::nullopt);
              }),
              "");
}

} // namespace
