// sfxkit pack as users run it: the built program, its exit codes, its one-line errors, the summary
// on standard output (and nothing else when standard error is not a terminal), the embedded stubs,
// and natively a package made with the native stub run end to end in a private TMPDIR.
#include "encode/packager.h"
#include "tests/support/run_program.h"
#include "tests/tools/pack_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <stdlib.h>
#else
#include <sys/wait.h>
#endif

#ifndef SFXKIT_PATH
#error "SFXKIT_PATH must name the built sfxkit"
#endif

namespace {

using namespace pack_test;
using test::Bytes;

using test::Outcome;
using test::quoted;

void set_env(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

class PackCliTest : public testing::Test {
  protected:
    test::TempDir dir;
    Bytes stub = fake_stub();
    fs::path stub_path = dir.path() / "stub.bin";
    fs::path output = dir.path() / "package.exe";

    void SetUp() override {
        test::write_file(stub_path, stub);
        set_env("SOURCE_DATE_EPOCH", nullptr);
    }
    void TearDown() override { set_env("SOURCE_DATE_EPOCH", nullptr); }

    std::string in_dir(const std::string& name) const { return (dir.path() / name).string(); }

    fs::path file(const std::string& name, const Bytes& bytes,
                  std::int64_t mtime = utc_seconds(2024, 3, 9, 17, 45, 22)) const {
        fs::create_directories((dir.path() / name).parent_path());
        return make_file(dir.path() / name, bytes, mtime);
    }

    // Runs sfxkit with the arguments, standard output and error captured.
    Outcome sfxkit(const std::vector<std::string>& args) const {
        return test::run_program(SFXKIT_PATH, args);
    }

    std::vector<std::string> pack_args(std::vector<std::string> rest) const {
        std::vector<std::string> args = {"pack", "-o", output.string(), "--stub",
                                         stub_path.string()};
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    }
};

TEST_F(PackCliTest, SummaryGoesToStandardOutputAndQuietSilencesIt) {
    const fs::path setup = file("setup.exe", sample_data(30000, 1));
    const fs::path noise = file("data/noise.bin", noise_data(2000, 2));
    const Bytes tail = test::bytes_of("12345");
    const fs::path tail_path = file("tail.bin", tail);

    const Outcome run =
        sfxkit(pack_args({"--tail", tail_path.string(), setup.string(), noise.string()}));
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, ""); // no progress when standard error is not a terminal
    const ParsedPackage parsed = parse_package(test::read_file(output), stub.size());
    ASSERT_EQ(parsed.entries.size(), 2u);
    const std::uint32_t packed = u32_at(parsed.entries[0].basic, 12);
    const std::uint64_t size = fs::file_size(output);

    std::istringstream lines(run.out);
    std::string header, first, second, total, extra;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, total);
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_EQ(header, "method             size       packed  name");
    char expected[200];
    std::snprintf(expected, sizeof expected, "%-10s %12d %12u  %s", "2 normal", 30000, packed,
                  "setup.exe");
    EXPECT_EQ(first, expected);
    EXPECT_EQ(second, "0 stored           2000         2000  noise.bin");
    EXPECT_EQ(total, output.string() + ": " + std::to_string(size) + " bytes (stub 4096, archive " +
                         std::to_string(size - 4096 - 5) + ", tail 5), 2 entries");

    const Outcome quiet = sfxkit(pack_args({"-q", "-m", "0", setup.string()}));
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(parse_package(test::read_file(output), stub.size()).entries.size(), 1u);
}

TEST_F(PackCliTest, RefusalsAreOneLineAndExitOne) {
    const std::string setup = file("setup.exe", sample_data(100, 3)).string();
    const std::string twin = file("other/setup.exe", sample_data(100, 4)).string();
    const std::string no_tag = file("no-tag.bin", Bytes(500, 1)).string();
    const struct {
        const char* label;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {"missing stub file",
         {"pack", "-o", output.string(), "--stub", in_dir("absent.stub"), setup},
         "sfxkit: " + in_dir("absent.stub") + ": cannot read the stub\n"},
        {"bad stub file",
         {"pack", "-o", output.string(), "--stub", no_tag, setup},
         "sfxkit: " + no_tag + ": not a stub: it holds no payload offset tag\n"},
        {"missing input", pack_args({setup, in_dir("absent.bin")}),
         "sfxkit: " + in_dir("absent.bin") + ": no such file\n"},
        {"duplicate base names", pack_args({"-m", "0", setup, twin}),
         "sfxkit: " + twin + ": has the same base name as " + setup +
             " (names are compared ignoring case, as on Windows)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Outcome run = sfxkit(c.args);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.message);
        EXPECT_FALSE(fs::exists(output));
    }
    // A bad command line is exit code 2.
    EXPECT_EQ(sfxkit(pack_args({"-m", "9", setup})).code, 2);
    EXPECT_EQ(sfxkit(pack_args({"--level", "max", setup})).code, 2);
    EXPECT_EQ(sfxkit({"pack", setup}).code, 2);
    EXPECT_FALSE(fs::exists(output));
}

// A later entry's name that leaves the launcher less than 100 bytes for the temporary directory's
// path is packed with a warning on standard error, even with -q; one byte shorter, silently. The
// first entry's name is never used for a file, so it draws none.
TEST_F(PackCliTest, LongNamesAreWarnedAbout) {
    const std::string setup = file(std::string(170, 's'), sample_data(100, 5)).string();
    const std::string name(long_entry_name, 'n');
    const std::string longer = file(name, sample_data(100, 6)).string();
    const std::string shorter = file(std::string(long_entry_name - 1, 'm'), Bytes(9, 1)).string();

    const Outcome warned = sfxkit(pack_args({"-q", setup, longer, shorter}));
    EXPECT_EQ(warned.code, 0);
    EXPECT_EQ(warned.out, "");
    EXPECT_EQ(warned.err, "sfxkit: warning: " + longer + ": its name is 160 bytes long; the " +
                              "launcher can create it only where the temporary directory's path " +
                              "is at most 99 bytes long\n");
    EXPECT_EQ(parse_package(test::read_file(output), stub.size()).entries.size(), 3u);

    const Outcome silent = sfxkit(pack_args({"-q", setup, shorter}));
    EXPECT_EQ(silent.code, 0);
    EXPECT_EQ(silent.err, "");
}

TEST_F(PackCliTest, SourceDateEpochClampsTimes) {
    const fs::path setup =
        file("setup.exe", sample_data(4000, 5), utc_seconds(2030, 1, 1, 0, 0, 0));
    set_env("SOURCE_DATE_EPOCH", std::to_string(utc_seconds(2021, 7, 4, 10, 20, 30)).c_str());
    ASSERT_EQ(sfxkit(pack_args({"-q", setup.string()})).code, 0);
    const Bytes first = test::read_file(output);
    EXPECT_EQ(u32_at(parse_package(first, stub.size()).entries[0].basic, 8),
              test::dos_time(2021, 7, 4, 10, 20, 30));
    set_mtime(setup, utc_seconds(2035, 1, 1, 0, 0, 0));
    ASSERT_EQ(sfxkit(pack_args({"-q", setup.string()})).code, 0);
    EXPECT_EQ(test::read_file(output), first);

    set_env("SOURCE_DATE_EPOCH", "yesterday");
    fs::remove(output);
    const Outcome run = sfxkit(pack_args({"-q", setup.string()}));
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "sfxkit: SOURCE_DATE_EPOCH: not a number of seconds: yesterday\n");
    EXPECT_FALSE(fs::exists(output));
}

// What pack writes, sfxkit's own inspection accepts and extracts back to the inputs.
TEST_F(PackCliTest, PackagesVerifyAndExtractWithSfxkit) {
    const Bytes setup = sample_data(50000, 11), data = noise_data(3000, 12),
                text = sample_data(9, 13);
    const std::vector<std::string> inputs = {file("setup.exe", setup).string(),
                                             file("d/data.bin", data).string(),
                                             file("notes.txt", text).string()};
    for (const char* method : {"0", "1", "4", "auto"}) {
        SCOPED_TRACE(method);
        std::vector<std::string> args = pack_args({"-q", "-m", method});
        args.insert(args.end(), inputs.begin(), inputs.end());
        ASSERT_EQ(sfxkit(args).code, 0);
        const Outcome verify = sfxkit({"verify", output.string()});
        EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
        test::TempDir into;
        const Outcome extract = sfxkit({"extract", output.string(), "-C", into.path().string()});
        ASSERT_EQ(extract.code, 0) << extract.err;
        EXPECT_EQ(test::read_file(into.path() / "setup.exe"), setup);
        EXPECT_EQ(test::read_file(into.path() / "data.bin"), data);
        EXPECT_EQ(test::read_file(into.path() / "notes.txt"), text);
    }
}

// The default stub is the embedded win32 stub; each embedded stub is a valid stub, and the one a
// build lacks is reported.
TEST_F(PackCliTest, EmbeddedStubs) {
    const fs::path setup = file("setup.exe", sample_data(1000, 6));
    for (const char* name : {"", "win32", "win64", "native"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> args = {"pack", "-q", "-o", output.string()};
        if (*name) args.insert(args.end(), {"--stub", name});
        args.push_back(setup.string());
        fs::remove(output);
        const Outcome run = sfxkit(args);
        const std::string which = *name ? name : "win32";
        if (run.code != 0) {
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, "sfxkit: --stub " + which + ": this sfxkit was built without the " +
                                   which + " stub; give a stub file with --stub FILE\n");
            EXPECT_FALSE(fs::exists(output));
            continue;
        }
        const Bytes package = test::read_file(output);
        const auto tag = std::search(package.begin(), package.end(), std::begin(payload_offset_tag),
                                     std::end(payload_offset_tag));
        ASSERT_NE(tag, package.end());
        const std::uint32_t offset =
            u32_at(package, static_cast<std::size_t>(tag - package.begin()) + 8);
        if (which != "native") {
            EXPECT_EQ(package[0], 'M') << "a Windows stub starts with MZ";
        }
        const ParsedPackage parsed = parse_package(package, offset);
        ASSERT_EQ(parsed.entries.size(), 1u);
        EXPECT_TRUE(parsed.end_marker);
        EXPECT_TRUE(parsed.tail.empty());
    }
}

#ifndef _WIN32
// A package on the native stub runs: the setup program sees the other file next to it in the
// private temporary directory, and nothing is left there afterwards.
TEST_F(PackCliTest, NativeStubPackageRunsEndToEnd) {
    const fs::path setup = file("setup.sh", test::bytes_of("#!/bin/sh\n"
                                                           "cat data.bin > \"$PACK_TEST_OUT\"\n"
                                                           "exit 3\n"));
    const Bytes data = sample_data(60000, 7);
    const fs::path data_path = file("data.bin", data);
    const Outcome run = sfxkit({"pack", "-q", "-m", "auto", "-o", output.string(), "--stub",
                                "native", setup.string(), data_path.string()});
    if (run.code != 0 && run.err.find("built without") != std::string::npos)
        GTEST_SKIP() << "this sfxkit has no native stub";
    ASSERT_EQ(run.code, 0) << run.err;

    test::TempDir tmp;
    const fs::path seen = dir.path() / "seen.bin";
    fs::remove(seen);
    const std::string command = "TMPDIR=" + quoted(tmp.path().string()) +
                                " PACK_TEST_OUT=" + quoted(seen.string()) + " " +
                                quoted(output.string()) + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0); // the launcher's exit code is always 0
    ASSERT_TRUE(fs::exists(seen));
    EXPECT_EQ(test::read_file(seen), data);
    EXPECT_EQ(tmp.names(), std::vector<std::string>{});
}
#endif

} // namespace
