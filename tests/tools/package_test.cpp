// Finding the payload offset in a package's stub, and loading a package's payload.
#include "tests/tools/inspect_fixture.h"
#include "tools/package.h"

using namespace inspect_test;
using test::Bytes;

namespace {

class PayloadOffsetTest : public InspectTest {};

TEST_F(PayloadOffsetTest, FoundInElfAndPeStubs) {
    struct Case {
        StubKind kind;
        std::size_t size;
        std::size_t tag_at;
    };
    const Case cases[] = {
        {StubKind::elf, 4096, 1000},
        {StubKind::pe, 45056, 0x2000},
        {StubKind::pe, 70000, 65536 - 5},  // the tag straddles the first 64 KiB read
        {StubKind::pe, 70000, 65536 - 10}, // the value straddles it
        {StubKind::elf, 20, 8},            // tag and value end right at the payload
    };
    for (const Case& c : cases) {
        const std::string path =
            write_package(test::scramble(test::archive_of({test::stored("s", {1})})), "p.exe",
                          fake_stub(c.size, c.tag_at, c.kind));
        EXPECT_EQ(find_payload_offset(path), c.size) << c.size << " " << c.tag_at;
        EXPECT_EQ(Package::open(path, std::nullopt).payload_offset(), c.size);
    }
}

TEST_F(PayloadOffsetTest, FirstTagWins) {
    Bytes stub = fake_stub(8192, 100);
    const Bytes later = fake_stub(64, 20, StubKind::elf, 12345);
    std::copy(later.begin() + 20, later.begin() + 32, stub.begin() + 5000);
    const std::string path = write_package(test::scramble(test::archive_of({})), "p", stub);
    EXPECT_EQ(find_payload_offset(path), 8192u);
}

TEST_F(PayloadOffsetTest, MissingOrImplausibleTagIsReported) {
    const Bytes payload = test::scramble(test::archive_of({test::stored("s", {1})}));
    Bytes untagged(4096, 0);
    struct Case {
        const char* what;
        Bytes stub;
        const char* error;
    };
    const Case cases[] = {
        {"no tag", untagged, "no payload offset found"},
        {"offset before the tag", fake_stub(4096, 2000, StubKind::pe, 2005), "does not fit"},
        {"offset past the file", fake_stub(4096, 2000, StubKind::pe, 1 << 20), "does not fit"},
        {"tag cut off", Bytes(payload_offset_tag, payload_offset_tag + 8), "no payload offset"},
    };
    for (const Case& c : cases) {
        const std::string path = write_package(
            c.what == std::string("tag cut off") ? Bytes{} : payload, "p.exe", c.stub);
        const std::string error = error_of([&] { Package::open(path, std::nullopt); });
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << c.what << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find("--offset"), std::string::npos) << c.what;
    }
}

TEST_F(PayloadOffsetTest, GivenOffsetOverridesTheStub) {
    // The stub's tag says 4096, but the payload really starts 100 bytes later.
    const Bytes stub = concat(fake_stub(4096, 600), Bytes(100, 0));
    const std::string path = write_package(
        test::scramble(test::archive_of({test::stored("setup.exe", test::bytes_of("hi"))})),
        "p.exe", stub);
    EXPECT_FALSE(Package::open(path, std::nullopt).walk(true).empty());
    Package package = Package::open(path, 4196);
    EXPECT_EQ(package.payload_offset(), 4196u);
    EXPECT_EQ(package.walk(true), "");
    // An untagged file works with the offset given.
    const std::string untagged = write_package(
        test::scramble(test::archive_of({test::stored("setup.exe", test::bytes_of("hi"))})),
        "u.exe", Bytes(300, 0));
    EXPECT_EQ(Package::open(untagged, 300).walk(true), "");
}

TEST_F(PayloadOffsetTest, OffsetPastTheEndOrTooShortAPayload) {
    const std::string path = write_package(Bytes(9, 0x60));
    EXPECT_NE(error_of([&] { Package::open(path, 1 << 20); }).find("lies past the end"),
              std::string::npos);
    EXPECT_NE(error_of([&] { Package::open(path, std::nullopt); }).find("shorter than 10 bytes"),
              std::string::npos);
    EXPECT_NE(error_of([&] {
                  Package::open((dir.path() / "none").string(), std::nullopt);
              }).find("no such file"),
              std::string::npos);
    EXPECT_NE(error_of([&] {
                  Package::open(dir.path().string(), std::nullopt);
              }).find("not a regular file"),
              std::string::npos);
}

TEST_F(PayloadOffsetTest, EndMarkerAndTailAreFound) {
    const Bytes tail = test::bytes_of("tail bytes");
    Package with_tail = Package::open(package_of({test::stored("s", {1, 2})}, tail), std::nullopt);
    EXPECT_TRUE(with_tail.has_end_marker());
    EXPECT_EQ(Bytes(with_tail.tail().begin(), with_tail.tail().end()), tail);

    Package marker_last = Package::open(package_of({test::stored("s", {1, 2})}), std::nullopt);
    EXPECT_TRUE(marker_last.has_end_marker());
    EXPECT_TRUE(marker_last.tail().empty());

    // No end marker, though the last entry's data end in the end marker's bytes.
    Package none = Package::open(
        package_of({test::stored("s", {1, 2, 0x60, 0xEA, 0, 0})}, {}, false), std::nullopt);
    EXPECT_FALSE(none.has_end_marker());
    EXPECT_TRUE(none.tail().empty());
}

} // namespace
