// The Win32 calls the stub relies on, checked against what it relies on. The same tests run on the
// native implementation and, in the Windows build, on the real API under Wine.
#include "platform/win32.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

using test::Bytes;
using test::TempDir;

struct DosCase {
    int year, month, day, hour, minute, second;
    bool valid;
    std::int64_t unix_seconds; // expected result when valid
};

WORD dos_date(int year, int month, int day) {
    return static_cast<WORD>((year - 1980) << 9 | month << 5 | day);
}
WORD dos_clock(int hour, int minute, int second) {
    return static_cast<WORD>(hour << 11 | minute << 5 | second / 2);
}

TEST(DosDateTimeToFileTime, AcceptsTheFormatsRangeAndRejectsTheRest) {
    const DosCase cases[] = {
        {1980, 1, 1, 0, 0, 0, true, 315532800},
        {2107, 12, 31, 23, 59, 58, true, 4354819198},
        {2000, 2, 29, 12, 34, 56, true, 951827696},
        {2025, 4, 11, 13, 33, 20, true, 1744378400},
        {1999, 12, 31, 23, 59, 58, true, 946684798},
        {2000, 0, 10, 0, 0, 0, false, 0},  // month 0
        {2000, 13, 10, 0, 0, 0, false, 0}, // month 13
        {2000, 15, 10, 0, 0, 0, false, 0},
        {2000, 5, 0, 0, 0, 0, false, 0},   // day 0
        {2000, 5, 10, 24, 0, 0, false, 0}, // hour 24
        {2000, 5, 10, 31, 0, 0, false, 0},
        {2000, 5, 10, 0, 60, 0, false, 0}, // minute 60
        {2000, 5, 10, 0, 63, 0, false, 0},
        {2000, 5, 10, 0, 0, 60, false, 0}, // two-second unit 30
        {2000, 5, 10, 0, 0, 62, false, 0},
    };
    for (const DosCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day << " " << c.hour
                                        << ":" << c.minute << ":" << c.second);
        FILETIME time{0xDEADBEEF, 0xDEADBEEF};
        const BOOL ok = DosDateTimeToFileTime(dos_date(c.year, c.month, c.day),
                                              dos_clock(c.hour, c.minute, c.second), &time);
        EXPECT_EQ(ok != FALSE, c.valid);
        if (!c.valid || !ok) continue;
        const std::uint64_t ticks =
            static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
        EXPECT_EQ(ticks, static_cast<std::uint64_t>(c.unix_seconds + 11644473600LL) * 10000000ull);
    }
}

HANDLE create(const std::string& path, DWORD disposition, DWORD access = GENERIC_WRITE) {
    return CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_ARCHIVE,
                       nullptr);
}

DWORD write(HANDLE file, const std::string& text) {
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    return written;
}

TEST(Files, CreateNewRefusesAnExistingFileAndCreateAlwaysReplacesIt) {
    TempDir dir;
    const std::string path = (dir.path() / "setup.exe").string();

    HANDLE first = create(path, CREATE_NEW);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(write(first, "first content"), 13u);
    EXPECT_TRUE(CloseHandle(first));

    EXPECT_EQ(create(path, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(test::read_file(path), test::bytes_of("first content"));

    HANDLE again = create(path, CREATE_ALWAYS);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(write(again, "new"), 3u);
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(test::read_file(path), test::bytes_of("new"));
}

TEST(Files, CreationFailsInAMissingDirectoryAndOnADirectory) {
    TempDir dir;
    EXPECT_EQ(create((dir.path() / "missing" / "x").string(), CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(create((dir.path() / "missing" / "x").string(), CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    std::filesystem::create_directory(dir.path() / "sub");
    EXPECT_EQ(create((dir.path() / "sub").string(), CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(create(dir.with_separator(), CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "sub"));
}

TEST(Files, ReadsFromAPositionAndReportsTheSize) {
    TempDir dir;
    const std::string path = (dir.path() / "data").string();
    test::write_file(path, test::bytes_of("0123456789abcdef"));

    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 16u);
    EXPECT_EQ(SetFilePointer(file, 10, nullptr, FILE_BEGIN), 10u);
    char buffer[32] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, 32, &got, nullptr));
    EXPECT_EQ(got, 6u); // the end of the file stops a read short
    EXPECT_EQ(std::string(buffer, got), "abcdef");
    EXPECT_TRUE(CloseHandle(file));

    EXPECT_EQ(CreateFileA((dir.path() / "none").string().c_str(), GENERIC_READ, FILE_SHARE_READ,
                          nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST(Files, DeleteRemovesAFileOnlyOnce) {
    TempDir dir;
    const std::string path = (dir.path() / "gone").string();
    test::write_file(path, test::bytes_of("x"));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
}

TEST(Files, SetFileTimeSetsTheLastWriteTime) {
    TempDir dir;
    const std::string path = (dir.path() / "timed").string();
    HANDLE file = create(path, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME time;
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(2001, 9, 9), dos_clock(1, 46, 40), &time));
    EXPECT_TRUE(SetFileTime(file, &time, &time, &time));
    EXPECT_TRUE(CloseHandle(file));
    const auto written = std::filesystem::last_write_time(path);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::file_clock::to_sys(written).time_since_epoch())
                             .count();
    EXPECT_EQ(seconds, 1000000000); // 2001-09-09 01:46:40 UTC
}

TEST(Strings, CopyAppendAndMeasure) {
    char buffer[32];
    lstrcpyA(buffer, "C:\\Temp\\");
    lstrcatA(buffer, "setup.exe");
    EXPECT_STREQ(buffer, "C:\\Temp\\setup.exe");
    EXPECT_EQ(lstrlenA(buffer), 17);
    EXPECT_EQ(lstrlenA(""), 0);
}

TEST(Strings, FormatsThePathIntoTheMessage) {
    char message[1024];
    wsprintfA(message, "Unable to unpack files. The file\n%s\nmay be damaged.", "C:\\pkg.exe");
    EXPECT_STREQ(message, "Unable to unpack files. The file\nC:\\pkg.exe\nmay be damaged.");
}

} // namespace
