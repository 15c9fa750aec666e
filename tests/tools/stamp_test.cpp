// sfxkit stamp: the tail block replaced, added and removed, the stub and archive untouched, and
// the output written safely (in place or elsewhere).
#include "tests/tools/inspect_fixture.h"
#include "tools/inspect.h"

#include <sstream>

using namespace inspect_test;
using test::Bytes;
namespace fs = std::filesystem;

namespace {

class StampTest : public InspectTest {
  protected:
    const std::vector<test::RawEntry> entries = {
        test::stored("setup.exe", test::bytes_of("program")),
        test::stored("marked.bin", marked_data())};
    const Bytes archive = test::archive_of(entries);
    const Bytes stub = fake_stub(stub_size, 600);

    std::string tail_file(const Bytes& bytes) {
        const fs::path path = dir.path() / "tail.bin";
        test::write_file(path, bytes);
        return path.string();
    }

    // What a package with this tail looks like, byte for byte.
    Bytes expected_with(const Bytes& tail) const {
        return concat(stub, test::scramble(archive, tail));
    }
};

TEST_F(StampTest, ReplacesAddsAndRemovesTheTail) {
    struct Case {
        Bytes before;
        Bytes after;
    };
    const Case cases[] = {
        {test::bytes_of("old tail"), test::bytes_of("a new, longer tail")}, // replace
        {{}, test::bytes_of("added")},                                      // add
        {test::bytes_of("gone soon"), {}},                                  // remove
        {Bytes(150, 'x'), Bytes(1, 'y')},                                   // shorten
    };
    for (const Case& c : cases) {
        const std::string path = write_package(test::scramble(archive, c.before));
        std::ostringstream warnings;
        stamp_package(path, tail_file(c.after), "", std::nullopt, warnings);
        EXPECT_EQ(test::read_file(path), expected_with(c.after));
        EXPECT_EQ(warnings.str(), "");
        EXPECT_EQ(error_of([&] { verify_package(path, std::nullopt); }), "");
        // Only the package and the tail file are left: no temporary file.
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"package.exe", "tail.bin"}));
    }
}

TEST_F(StampTest, StampedBytesReachTheExtractedFiles) {
    const std::string path = write_package(test::scramble(archive));
    std::ostringstream warnings;
    const Bytes tail(130, 'Q');
    stamp_package(path, tail_file(tail), "", std::nullopt, warnings);
    EXPECT_NE(warnings.str().find("only the first 100 are stamped"), std::string::npos);
    EXPECT_EQ(test::read_file(path), expected_with(tail)); // stored whole

    test::TempDir out;
    extract_package(path, out.path().string(), std::nullopt);
    Bytes stamped = marked_data();
    std::fill(stamped.begin() + 70, stamped.begin() + 170, 'Q');
    EXPECT_EQ(test::read_file(out.path() / "marked.bin"), stamped);
}

TEST_F(StampTest, WritesToAnotherFileWithOutput) {
    const std::string path = write_package(test::scramble(archive, test::bytes_of("old")));
    const Bytes original = test::read_file(path);
    test::TempDir elsewhere;
    const std::string output = (elsewhere.path() / "stamped.exe").string();
    std::ostringstream warnings;
    stamp_package(path, tail_file(test::bytes_of("new")), output, std::nullopt, warnings);
    EXPECT_EQ(test::read_file(path), original);
    EXPECT_EQ(test::read_file(output), expected_with(test::bytes_of("new")));
    EXPECT_EQ(elsewhere.names(), std::vector<std::string>{"stamped.exe"});

    // Over an existing output, too.
    stamp_package(path, tail_file(test::bytes_of("newer")), output, std::nullopt, warnings);
    EXPECT_EQ(test::read_file(output), expected_with(test::bytes_of("newer")));
}

#if !defined(_WIN32)
TEST_F(StampTest, KeepsThePackagesPermissions) {
    const std::string path = write_package(test::scramble(archive));
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read);
    std::ostringstream warnings;
    stamp_package(path, tail_file({1}), "", std::nullopt, warnings);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all | fs::perms::group_read);
}
#endif

TEST_F(StampTest, RefusesAnArchiveWithoutAnEndMarker) {
    const std::string path = write_package(test::scramble(test::archive_of(entries, false)));
    const Bytes original = test::read_file(path);
    std::ostringstream warnings;
    const std::string error =
        error_of([&] { stamp_package(path, tail_file({1}), "", std::nullopt, warnings); });
    EXPECT_EQ(error, path + ": the archive has no end marker, so it cannot carry a tail block");
    EXPECT_EQ(test::read_file(path), original);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"package.exe", "tail.bin"}));
}

TEST_F(StampTest, MissingTailFileChangesNothing) {
    const std::string path = write_package(test::scramble(archive, {7}));
    const Bytes original = test::read_file(path);
    std::ostringstream warnings;
    const std::string missing = (dir.path() / "missing").string();
    EXPECT_EQ(error_of([&] { stamp_package(path, missing, "", std::nullopt, warnings); }),
              missing + ": no such file");
    EXPECT_EQ(test::read_file(path), original);
}

TEST_F(StampTest, UsesTheGivenOffset) {
    const Bytes untagged(500, 0);
    const std::string path = write_package(test::scramble(archive, {1, 2}), "p.exe", untagged);
    std::ostringstream warnings;
    stamp_package(path, tail_file({9}), "", 500, warnings);
    EXPECT_EQ(test::read_file(path), concat(untagged, test::scramble(archive, {9})));
}

} // namespace
