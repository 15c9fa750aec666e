// The memory platform that the fuzz targets run on: the file semantics its invariants rely on,
// which must match the native build's (CREATE_NEW, CREATE_ALWAYS, paths that name a directory),
// its counters of calls Windows would refuse, and its planned faults. Built natively from the
// memory platform's sources alone, beside the native platform of the other tests.
#include "platform/memory/memory_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class MemoryPlatform : public testing::Test {
  protected:
    void SetUp() override {
        memory_reset();
        ASSERT_TRUE(memory_add_directory("/mem"));
        ASSERT_TRUE(memory_add_directory("/mem/tmp"));
    }
    void TearDown() override { memory_reset(); }

    static HANDLE create(const char* path, DWORD disposition) {
        return CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_ARCHIVE,
                           nullptr);
    }
    static bool write(HANDLE file, const std::string& text) {
        DWORD written = 0;
        return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
    }
    static std::string content(const char* path) {
        const MemoryFile* file = memory_find_file(path);
        return file ? std::string(reinterpret_cast<const char*>(file->bytes), file->size)
                    : "<none>";
    }
};

TEST_F(MemoryPlatform, DispositionsAsNatively) {
    HANDLE first = create("/mem/tmp/a", CREATE_NEW);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(first, "first content"));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(create("/mem/tmp/a", CREATE_NEW), INVALID_HANDLE_VALUE); // exists
    HANDLE again = create("/mem/tmp/./a", CREATE_ALWAYS);              // same file, emptied
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(content("/mem/tmp/a"), "");
    EXPECT_TRUE(write(again, "new"));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(content("/mem/tmp/a"), "new");
    EXPECT_EQ(CreateFileA("/mem/tmp/missing", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(memory_stats.creates, 1);
}

TEST_F(MemoryPlatform, PathsThatNameNoFile) {
    for (const char* path : {"/mem/tmp/", "/mem/tmp", "/mem/tmp/.", "/mem/tmp/..", "/mem/tmp//",
                             "/mem/tmp/x/..", "/mem/nowhere/x", "/", "", "/mem/tmp/a/"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(create(path, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(create(("/mem/tmp/" + std::string(256, 'n')).c_str(), CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    HANDLE longest = create(("/mem/tmp/" + std::string(255, 'n')).c_str(), CREATE_ALWAYS);
    EXPECT_NE(longest, INVALID_HANDLE_VALUE);
    CloseHandle(longest);
    // A backslash is a plain byte of a name, as natively.
    HANDLE odd = create("/mem/tmp/a\\b", CREATE_ALWAYS);
    EXPECT_NE(odd, INVALID_HANDLE_VALUE);
    CloseHandle(odd);
    EXPECT_NE(memory_find_file("/mem/tmp/a\\b"), nullptr);
    EXPECT_EQ(memory_stats.creates, 2);
}

TEST_F(MemoryPlatform, CountsWhatWindowsWouldRefuse) {
    HANDLE file = create("/mem/tmp/held", CREATE_NEW);
    HANDLE second = create("/mem/tmp/held", CREATE_ALWAYS);
    EXPECT_EQ(memory_stats.open_conflicts, 1);
    EXPECT_TRUE(DeleteFileA("/mem/tmp/held"));
    EXPECT_EQ(memory_stats.deletes_while_open, 1);
    EXPECT_EQ(memory_find_file("/mem/tmp/held"), nullptr);
    EXPECT_TRUE(write(file, "still writable")); // an unlinked file keeps its bytes until closed
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_FALSE(CloseHandle(second));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(memory_stats.bad_handle_calls, 2);
    EXPECT_EQ(memory_open_handle_count(), 0);
}

TEST_F(MemoryPlatform, ReadsAndPositions) {
    const unsigned char bytes[] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(memory_put_file("/mem/package", bytes, sizeof bytes));
    HANDLE file = CreateFileA("/mem/package", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 6u);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    unsigned char got[8] = {};
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(file, got, 8, &count, nullptr));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(got[0], 5);
    EXPECT_TRUE(ReadFile(file, got, 8, &count, nullptr));
    EXPECT_EQ(count, 0u);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, bytes, 1, &written, nullptr)); // opened for reading only
    CloseHandle(file);
}

TEST_F(MemoryPlatform, PlannedFaults) {
    HANDLE file = create("/mem/tmp/f", CREATE_NEW);
    memory_plan_fault(1, memory_fault_short_transfer);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abcd", 4, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(memory_stats.fault_hit);
    memory_plan_fault(2, memory_fault_fail);
    EXPECT_TRUE(WriteFile(file, "e", 1, &written, nullptr));
    EXPECT_FALSE(WriteFile(file, "f", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    CloseHandle(file);
    EXPECT_EQ(content("/mem/tmp/f"), "abce");
    memory_plan_fault(1, memory_fault_fail);
    EXPECT_EQ(create("/mem/tmp/g", CREATE_NEW), INVALID_HANDLE_VALUE);
}

} // namespace
