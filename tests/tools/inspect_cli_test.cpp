// sfxkit list, verify, extract and stamp as users run them: the built program's help, its exit
// codes (2 for a bad command line, 1 for a failure) and its one-line errors.
#include "tests/support/run_program.h"
#include "tests/tools/inspect_fixture.h"
#include "tools/inspect.h"

#include <sstream>

#ifndef SFXKIT_PATH
#error "SFXKIT_PATH must name the built sfxkit"
#endif

using namespace inspect_test;
using test::Bytes;
namespace fs = std::filesystem;

namespace {

using test::Outcome;
using test::quoted;

class InspectCliTest : public InspectTest {
  protected:
    Outcome sfxkit(const std::vector<std::string>& args) const {
        return test::run_program(SFXKIT_PATH, args);
    }

    std::string good_package() {
        return package_of({test::stored("setup.exe", test::bytes_of("program")),
                           test::stored("dir/marked.bin", marked_data())},
                          test::bytes_of("tail"));
    }
};

TEST_F(InspectCliTest, HelpAndVersion) {
    const Outcome help = sfxkit({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* command : {"pack", "list", "verify", "extract", "stamp"}) {
        EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    }
    const Outcome list_help = sfxkit({"list", "--help"});
    EXPECT_EQ(list_help.code, 0);
    EXPECT_NE(list_help.out.find("Usage: sfxkit list [OPTIONS] PACKAGE"), std::string::npos);
    EXPECT_NE(list_help.out.find("method      packed        size  crc32     date"),
              std::string::npos);
    for (const char* command : {"verify", "extract", "stamp"}) {
        const Outcome run = sfxkit({command, "--help"});
        EXPECT_EQ(run.code, 0) << command;
        EXPECT_NE(run.out.find("--offset N"), std::string::npos) << command << run.out;
    }
    EXPECT_NE(sfxkit({"extract", "--help"}).out.find("-C,--directory DIR"), std::string::npos);
    EXPECT_NE(sfxkit({"stamp", "--help"}).out.find("--tail FILE REQUIRED"), std::string::npos);
    const Outcome version = sfxkit({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("sfxkit ", 0), 0u);
}

TEST_F(InspectCliTest, BadCommandLinesExitTwo) {
    const std::string package = good_package();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"list"},
        {"list", package, package},
        {"list", "--offset", "x", package},
        {"verify", "--offset", "-1", package},
        {"verify", "--offset", "4294967296", package},
        {"extract", package, "--bogus"},
        {"stamp", package},
    };
    for (const auto& args : cases) {
        const Outcome run = sfxkit(args);
        std::string shown;
        for (const std::string& arg : args) shown += arg + " ";
        EXPECT_EQ(run.code, 2) << shown << run.err;
        EXPECT_EQ(run.out, "") << shown;
    }
    EXPECT_NE(sfxkit({"frobnicate"}).err.find("frobnicate"), std::string::npos);
    EXPECT_NE(sfxkit({}).err.find("A command is required"), std::string::npos);
}

TEST_F(InspectCliTest, CommandsRunAndReportOneLineErrors) {
    const std::string package = good_package();
    std::ostringstream listing;
    list_package(package, std::nullopt, listing);
    const Outcome list = sfxkit({"list", package});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(list.out, listing.str());
    EXPECT_EQ(list.err, "");

    const Outcome verify = sfxkit({"verify", package});
    EXPECT_EQ(verify.code, 0);
    EXPECT_EQ(verify.out, package + ": ok\n");

    test::TempDir out;
    const Outcome extract = sfxkit({"extract", package, "-C", out.path().string()});
    EXPECT_EQ(extract.code, 0) << extract.err;
    EXPECT_EQ(out.names(), (std::vector<std::string>{"marked.bin", "setup.exe"}));

    const fs::path tail = dir.path() / "long-tail.bin";
    test::write_file(tail, Bytes(101, 'L'));
    const Outcome stamp = sfxkit({"stamp", package, "--tail", tail.string()});
    EXPECT_EQ(stamp.code, 0);
    EXPECT_EQ(stamp.err, "sfxkit: warning: " + tail.string() +
                             ": 101 bytes; only the first 100 are stamped into the files (all "
                             "are stored)\n");
    EXPECT_NE(sfxkit({"list", package}).out.find("tail block: 101 bytes"), std::string::npos);

    // A damaged package: the listing so far on standard output, one line on standard error.
    test::RawEntry bad = test::stored("bad.bin", test::bytes_of("bad"));
    bad.crc32 = 0x12345678;
    const std::string damaged = package_of({test::stored("setup.exe", {1}), bad});
    const Outcome rejected = sfxkit({"verify", damaged});
    EXPECT_EQ(rejected.code, 1);
    EXPECT_EQ(rejected.out, "");
    EXPECT_EQ(rejected.err.rfind("sfxkit: " + damaged + ": entry 2 (bad.bin): CRC-32 mismatch", 0),
              0u)
        << rejected.err;
    EXPECT_EQ(rejected.err.find('\n'), rejected.err.size() - 1);
    const Outcome listed = sfxkit({"list", damaged});
    EXPECT_EQ(listed.code, 1);
    EXPECT_NE(listed.out.find("bad.bin\ntail block: 0 bytes\n"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.err.find('\n'), listed.err.size() - 1);

    const Outcome missing = sfxkit({"extract", (dir.path() / "none.exe").string()});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "sfxkit: " + (dir.path() / "none.exe").string() + ": no such file\n");
}

} // namespace
