// The launcher run end to end: real packages (the native stub followed by a payload), the sample
// setup program as the child, a private temporary directory per test (TMPDIR). Checked: what the
// child saw, the message on each failure path, the two-second rule, the exit code, and that
// nothing the run made is left behind.
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct RunResult {
    int exit_code = -1;
    std::string error_output;
    std::int64_t started_ms = 0;  // just before the package was started
    std::int64_t finished_ms = 0; // when it had ended
};

// The report of the sample setup program, one value per key ("file" lines as a list).
struct Report {
    std::map<std::string, std::string> values;
    std::vector<std::string> files;
};

Report parse_report(const fs::path& path) {
    Report report;
    std::istringstream in(std::string(reinterpret_cast<const char*>(test::read_file(path).data()),
                                      test::read_file(path).size()));
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon);
        const std::string value = line.substr(colon + 2);
        if (key == "file") {
            report.files.push_back(value);
        } else {
            report.values[key] = value;
        }
    }
    return report;
}

std::string file_line(const std::string& name, const Bytes& data, const char* mtime) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(test::crc32_of(data)));
    return name + " size=" + std::to_string(data.size()) + " crc32=" + crc + " mtime=" + mtime;
}

std::vector<std::string> names_in(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(directory))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class LauncherRun : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(temp());
        sample_ = test::read_file(SAMPLE_SETUP_PATH);
    }

    fs::path temp() const { return root_.path() / "tmp"; }
    fs::path package() const { return root_.path() / "package"; }
    fs::path report() const { return root_.path() / "report"; }

    void write_package(const Bytes& payload) {
        Bytes bytes = test::read_file(SFXSTUB_PATH);
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        test::write_file(package(), bytes);
        fs::permissions(package(), fs::perms::owner_all);
    }

    // Runs the package with TMPDIR set to temp_dir and the report going to report().
    RunResult run(const fs::path& temp_dir, bool with_window = true,
                  const fs::path& working_directory = {}) {
        std::vector<std::string> variables;
        for (char** v = environ; *v; ++v) {
            const std::string variable = *v;
            if (variable.rfind("TMPDIR=", 0) == 0 || variable.rfind("SFXKIT_", 0) == 0 ||
                variable.rfind("SFXSTUB_", 0) == 0)
                continue;
            variables.push_back(variable);
        }
        variables.push_back("TMPDIR=" + temp_dir.string());
        variables.push_back("SFXKIT_REPORT=" + report().string());
        if (!with_window) variables.push_back("SFXSTUB_NO_WINDOW=1");
        std::vector<char*> envp;
        for (auto& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);

        const fs::path error_path = root_.path() / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, error_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!working_directory.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, working_directory.c_str());
        }
        const std::string program = package().string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        RunResult result;
        result.started_ms = now_ms();
        pid_t child = 0;
        const int failed =
            posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(failed, 0);
        int status = 0;
        if (failed == 0) waitpid(child, &status, 0);
        result.finished_ms = now_ms();
        result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const Bytes error = test::read_file(error_path);
        result.error_output.assign(error.begin(), error.end());
        fs::remove(error_path);
        return result;
    }

    // The unpack failure message as the native message box prints it: one line.
    std::string unpack_message() const {
        return "Unable to unpack files. The file " + fs::canonical(package()).string() +
               " may be damaged. Try to download again.\n";
    }

    test::TempDir root_;
    Bytes sample_;
};

TEST_F(LauncherRun, ChildRunsInTheTemporaryDirectoryAndEverythingIsDeleted) {
    const Bytes readme = test::bytes_of("Read me first.\n");
    test::RawEntry readme_entry = test::stored("docs\\sub/readme.txt", readme);
    readme_entry.dos_time = test::dos_time(2021, 6, 15, 10, 20, 30);
    test::RawEntry empty_entry = test::stored("empty.dat", {});
    empty_entry.dos_time = test::dos_time(1999, 12, 31, 23, 59, 58);
    test::RawEntry setup_entry = test::stored("ignored-name.exe", sample_);
    setup_entry.dos_time = test::dos_time(2020, 2, 29, 0, 0, 0);
    write_package(test::scramble(test::archive_of({setup_entry, readme_entry, empty_entry}),
                                 test::bytes_of("stamped")));

    const RunResult result = run(temp());
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.error_output, "");
    ASSERT_TRUE(fs::exists(report())) << "the setup program did not run";
    const Report seen = parse_report(report());
    EXPECT_EQ(seen.values.at("cwd"), temp().string()); // without the trailing separator
    EXPECT_EQ(seen.values.at("argc"), "1");
    EXPECT_EQ(seen.values.at("argv[0]"), (temp() / "setup.exe").string());
    EXPECT_EQ(seen.values.at("stamp"), "stamped");
    // The setup program itself got the stamp behind its marker, so only its size is compared.
    ASSERT_EQ(seen.files.size(), 3u);
    EXPECT_EQ(seen.files[0], file_line("empty.dat", {}, "1999-12-31 23:59:58"));
    EXPECT_EQ(seen.files[1], file_line("readme.txt", readme, "2021-06-15 10:20:30"));
    EXPECT_EQ(seen.files[2].substr(0, seen.files[2].find(" crc32=")),
              "setup.exe size=" + std::to_string(sample_.size()));
    EXPECT_NE(seen.files[2].find("mtime=2020-02-29 00:00:00"), std::string::npos);

    // The window stays up until two seconds after the start, and the child starts after that.
    const std::int64_t child_start = std::stoll(seen.values.at("started_ms"));
    EXPECT_GE(child_start - result.started_ms, 2000);
    EXPECT_LT(child_start - result.started_ms, 10000);
    EXPECT_TRUE(fs::is_empty(temp()));
}

// A package re-stamped with sfxkit stamp runs, and its setup program sees the new stamp; the
// stub and the archive are what they were, byte for byte.
TEST_F(LauncherRun, RestampedPackageRunsWithTheNewStamp) {
    write_package(test::scramble(test::archive_of({test::stored("setup.exe", sample_)}),
                                 test::bytes_of("first stamp")));
    const Bytes before = test::read_file(package());
    const fs::path tail = root_.path() / "new-tail";
    test::write_file(tail, test::bytes_of("second stamp"));
    const test::Outcome stamped =
        test::run_program(SFXKIT_PATH, {"stamp", package().string(), "--tail", tail.string()});
    ASSERT_EQ(stamped.code, 0) << stamped.err;

    const Bytes after = test::read_file(package());
    const std::size_t kept = before.size() - std::string("first stamp").size();
    ASSERT_EQ(after.size(), kept + std::string("second stamp").size());
    EXPECT_TRUE(
        std::equal(before.begin(), before.begin() + static_cast<long>(kept), after.begin()));

    const RunResult result = run(temp(), false);
    EXPECT_EQ(result.exit_code, 0);
    ASSERT_TRUE(fs::exists(report())) << "the setup program did not run";
    EXPECT_EQ(parse_report(report()).values.at("stamp"), "second stamp");
    EXPECT_TRUE(fs::is_empty(temp()));
}

// An earlier run's setup.exe is neither opened nor deleted: the first entry goes to a generated
// name. Without a window there is no two-second wait.
TEST_F(LauncherRun, TakenSetupNameAndNoWindow) {
    test::write_file(temp() / "setup.exe", test::bytes_of("from an earlier run"));
    write_package(test::scramble(test::archive_of({test::stored("setup.exe", sample_)})));

    const RunResult result = run(temp(), false);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.error_output, "");
    ASSERT_TRUE(fs::exists(report()));
    const Report seen = parse_report(report());
    const std::string argv0 = seen.values.at("argv[0]");
    EXPECT_EQ(fs::path(argv0).parent_path(), temp());
    EXPECT_TRUE(
        std::regex_match(fs::path(argv0).filename().string(), std::regex("_stp[a-z]{4}\\.exe")))
        << argv0;
    EXPECT_EQ(seen.files.size(), 2u);
    EXPECT_LT(std::stoll(seen.values.at("started_ms")) - result.started_ms, 1500);
    EXPECT_EQ(test::read_file(temp() / "setup.exe"), test::bytes_of("from an earlier run"));
    EXPECT_EQ(names_in(temp()), std::vector<std::string>{"setup.exe"});
}

// Every way the unpacking can fail: one message naming the package, no child, no wait for the
// window, and nothing left in the temporary directory.
TEST_F(LauncherRun, UnpackFailuresShowTheMessageAndLeaveNothing) {
    const test::RawEntry setup = test::stored("setup.exe", test::bytes_of("never run"));
    const test::RawEntry good = test::stored("good.txt", test::bytes_of("good"));
    test::RawEntry bad_crc = test::stored("bad.txt", test::bytes_of("damaged"));
    bad_crc.crc32 ^= 1;
    const test::RawEntry unnamed = test::stored("dir/", test::bytes_of("no base name"));
    const struct {
        const char* what;
        Bytes payload;
    } cases[] = {
        {"payload shorter than 10 bytes", Bytes(9, 0x60)},
        {"not an archive", test::scramble(test::bytes_of("not an archive at all"))},
        {"CRC mismatch in a later entry",
         test::scramble(test::archive_of({setup, good, bad_crc, good}))},
        {"later file cannot be created", test::scramble(test::archive_of({setup, good, unnamed}))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_package(c.payload);
        const RunResult result = run(temp());
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.error_output, unpack_message());
        EXPECT_LT(result.finished_ms - result.started_ms, 1500) << "a failure does not wait";
        EXPECT_FALSE(fs::exists(report()));
        EXPECT_TRUE(fs::is_empty(temp())) << names_in(temp()).front();
    }
}

// A temporary directory that is missing or runs through a regular file: every name fails, the
// creation message is shown, nothing is made anywhere.
TEST_F(LauncherRun, NoTemporaryFileShowsTheCreationMessage) {
    write_package(test::scramble(test::archive_of({test::stored("setup.exe", sample_)})));
    test::write_file(root_.path() / "regular", test::bytes_of("x"));
    for (const fs::path& directory : {root_.path() / "missing", root_.path() / "regular"}) {
        SCOPED_TRACE(directory.string());
        const auto before = names_in(root_.path());
        const RunResult result = run(directory);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.error_output, "Unable to create a temporary file.\n");
        EXPECT_LT(result.finished_ms - result.started_ms, 1500);
        EXPECT_EQ(names_in(root_.path()), before);
        EXPECT_EQ(test::read_file(root_.path() / "regular"), test::bytes_of("x"));
    }
}

// When the temporary directory cannot be had (here: a path too long for the 260-byte buffer),
// the files are made in the current directory and the child runs there.
TEST_F(LauncherRun, WithoutTemporaryDirectoryTheCurrentDirectoryServes) {
    const fs::path working = root_.path() / "cwd";
    fs::create_directory(working);
    write_package(test::scramble(test::archive_of(
        {test::stored("setup.exe", sample_), test::stored("data.txt", test::bytes_of("data"))})));
    const RunResult result = run(root_.path() / std::string(300, 'x'), false, working);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.error_output, "");
    ASSERT_TRUE(fs::exists(report()));
    const Report seen = parse_report(report());
    EXPECT_EQ(seen.values.at("cwd"), working.string());
    EXPECT_EQ(seen.values.at("argv[0]"), "setup.exe");
    EXPECT_EQ(seen.files.size(), 2u);
    EXPECT_TRUE(fs::is_empty(working));
}

// A first entry that cannot be started is not reported: the files are deleted at once.
TEST_F(LauncherRun, ChildThatCannotStartIsNotReported) {
    write_package(test::scramble(
        test::archive_of({test::stored("setup.exe", test::bytes_of("\x01\x02 not a program")),
                          test::stored("data.bin", test::bytes_of("data"))})));
    const RunResult result = run(temp(), false);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.error_output, "");
    EXPECT_LT(result.finished_ms - result.started_ms, 1500);
    EXPECT_TRUE(fs::is_empty(temp()));
}

} // namespace
