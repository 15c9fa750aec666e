// The temporary program file: the name generator, the order in which names are tried, and what a
// directory that cannot take the file does. The tests set temp_dir themselves.
#include "archive/output_files.h"
#include "launcher/progress_window.h"
#include "launcher/target_file.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void set_temp_dir(const std::string& directory) {
    ASSERT_LT(directory.size(), sizeof temp_dir);
    std::strcpy(temp_dir, directory.c_str());
}

// Closes what create_target_file left open, so that the next case starts clean.
void close_output() {
    if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;
}

std::uint32_t state_after_draws(std::uint32_t state, int draws) {
    for (int i = 0; i < draws; ++i) state = state * 214013u + 2531011u;
    return state;
}

TEST(DrawRandom, WorkedExamples) {
    const struct {
        std::uint32_t seed;
        int draws[4];
    } cases[] = {{0, {38, 7719, 21238, 2437}}, {1, {41, 18467, 6334, 26500}}};
    for (const auto& c : cases) {
        random_state = c.seed;
        for (int expected : c.draws) EXPECT_EQ(draw_random(), expected) << "seed " << c.seed;
    }
    random_state = 0xFFFFFFFFu; // the state wraps, the result stays within 15 bits
    for (int i = 0; i < 1000; ++i) {
        const int value = draw_random();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}

// Names taken in the directory, the start time, and the name the first entry must go to.
TEST(CreateTargetFile, TriesSetupExeThenGeneratedNames) {
    const struct {
        std::vector<std::string> taken;
        std::uint32_t start_ticks;
        const char* expected;
    } cases[] = {
        {{}, 0, "setup.exe"},
        {{"setup.exe"}, 0, "_stpmxwt.exe"},
        {{"setup.exe", "_stpmxwt.exe"}, 0, "_stppttt.exe"},
        {{"setup.exe"}, 1, "_stpphqg.exe"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        for (const auto& name : c.taken) test::write_file(dir.path() / name, test::bytes_of(name));
        set_temp_dir(dir.with_separator());

        char target_path[path_buffer_size];
        ASSERT_TRUE(create_target_file(target_path, c.start_ticks)) << c.expected;
        EXPECT_NE(output_handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(std::string(target_path), dir.with_separator() + c.expected);
        // The new file is empty and open for writing; the names already taken are untouched.
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(output_handle, "x", 1, &written, nullptr));
        close_output();
        EXPECT_EQ(test::read_file(target_path), test::bytes_of("x"));
        for (const auto& name : c.taken) {
            EXPECT_EQ(test::read_file(dir.path() / name), test::bytes_of(name)) << name;
        }
        if (c.taken.empty()) {
            EXPECT_EQ(random_state, c.start_ticks) << "no name was drawn";
        }
    }
}

// A directory that does not exist, and one whose path runs through a regular file: every one of
// the 100 attempts fails (the plain name and 99 generated ones, 4 draws each), and nothing is made.
TEST(CreateTargetFile, UnwritableDirectoryFailsEveryAttempt) {
    test::TempDir root;
    test::write_file(root.path() / "plain-file", test::bytes_of("data"));
    const std::string directories[] = {(root.path() / "missing").string() + "/",
                                       (root.path() / "plain-file").string() + "/"};
    for (const auto& directory : directories) {
        set_temp_dir(directory);
        char target_path[path_buffer_size];
        EXPECT_FALSE(create_target_file(target_path, 12345)) << directory;
        EXPECT_EQ(output_handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(random_state, state_after_draws(12345, 99 * 4));
        EXPECT_EQ(root.names(), std::vector<std::string>{"plain-file"});
        EXPECT_EQ(test::read_file(root.path() / "plain-file"), test::bytes_of("data"));
    }
}

// A directory path of the given length with its separator, made under root.
std::string directory_of_length(const test::TempDir& root, std::size_t length) {
    std::string path = root.with_separator();
    const std::size_t fill = length - path.size() - 1;
    path += std::string(fill, 'd');
    fs::create_directory(path);
    return path + "/";
}

// Names that would not fit the 260-byte target_path are failed attempts: they are neither tried
// nor written past the buffer's end.
TEST(CreateTargetFile, NamesThatDoNotFitAreNotTried) {
    const struct {
        std::size_t directory_length;
        bool setup_exe_taken;
        bool succeeds;
    } cases[] = {
        {250, false, true},  // 250 + "setup.exe" + NUL = 260: fits
        {250, true, false},  // the generated names need 13 bytes more than the directory
        {247, true, true},   // 247 + "_stpxxxx.exe" + NUL = 260: fits
        {251, false, false}, // not even "setup.exe" fits
    };
    for (const auto& c : cases) {
        test::TempDir root;
        const std::string directory = directory_of_length(root, c.directory_length);
        ASSERT_EQ(directory.size(), c.directory_length);
        if (c.setup_exe_taken) test::write_file(directory + "setup.exe", test::bytes_of("old"));
        set_temp_dir(directory);

        char buffer[path_buffer_size + 64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(create_target_file(buffer, 7), c.succeeds) << c.directory_length;
        for (std::size_t i = path_buffer_size; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], '#') << "written past target_path at " << i;
        }
        if (c.succeeds) {
            EXPECT_EQ(std::strlen(buffer) + 1 <= path_buffer_size, true);
            EXPECT_TRUE(fs::exists(buffer));
        }
        close_output();
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& item : fs::directory_iterator(directory)) ++files;
        EXPECT_EQ(files, (c.setup_exe_taken ? 1u : 0u) + (c.succeeds ? 1u : 0u));
    }
}

TEST(ProgressDialogProc, AcceptsOnlyTheInitialisation) {
    EXPECT_EQ(progress_dialog_proc(nullptr, WM_INITDIALOG, 0, 0), TRUE);
    const UINT others[] = {0x0000, 0x0002 /* WM_DESTROY */, WM_SETICON, 0x0111 /* WM_COMMAND */};
    for (UINT message : others) {
        EXPECT_EQ(progress_dialog_proc(nullptr, message, 1, 2), FALSE) << message;
    }
}

} // namespace
