// The packager against the stub's own reading code: every header field of the entries it writes,
// the end marker and the plain tail; round trips through load_payload and extract_entries for
// every method and level; reproducible output and SOURCE_DATE_EPOCH clamping; and the refusals,
// each of which must leave the output as it was and nothing else behind.
#include "archive/extract_entries.h"
#include "archive/format.h"
#include "archive/output_files.h"
#include "encode/dos_time.h"
#include "encode/entry_writer.h"
#include "encode/packager.h"
#include "payload/load_payload.h"
#include "tests/tools/pack_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace pack_test;
using test::Bytes;

class PackTest : public testing::Test {
  public: // the refusal table's lambdas use the fixture
    test::TempDir dir;
    Bytes stub = fake_stub();
    fs::path output = dir.path() / "package.exe";

    PackRequest request(std::vector<fs::path> inputs) const {
        PackRequest r;
        r.output = output;
        r.stub = stub;
        r.stub_name = "test stub";
        r.inputs = std::move(inputs);
        return r;
    }

    fs::path file(const std::string& name, const Bytes& bytes,
                  std::int64_t mtime = utc_seconds(2024, 3, 9, 17, 45, 22)) const {
        fs::create_directories((dir.path() / name).parent_path());
        return make_file(dir.path() / name, bytes, mtime);
    }

    ParsedPackage parse() const { return parse_package(test::read_file(output), stub.size()); }
};

// Checks the basic header of an entry field by field against what it should say.
void expect_entry(const ParsedEntry& entry, const std::string& name, int method,
                  std::uint32_t dos_time, const Bytes& original) {
    SCOPED_TRACE(name);
    const Bytes& b = entry.basic;
    ASSERT_EQ(b.size(), 30 + name.size() + 2);
    EXPECT_EQ(b[0], 30); // first header size
    EXPECT_EQ(b[1], 11); // archiver version
    EXPECT_EQ(b[2], 1);  // minimum version
    EXPECT_EQ(b[3], 0);  // host OS
    EXPECT_EQ(b[4], 0);  // flags
    EXPECT_EQ(b[5], method);
    EXPECT_EQ(b[6], 0); // file type
    EXPECT_EQ(b[7], 0); // reserved
    EXPECT_EQ(u32_at(b, 8), dos_time);
    EXPECT_EQ(u32_at(b, 12), entry.packed.size());
    EXPECT_EQ(u32_at(b, 16), original.size());
    EXPECT_EQ(u32_at(b, 20), test::crc32_of(original));
    EXPECT_EQ(u16_at(b, 24), 0u);    // base name position
    EXPECT_EQ(u16_at(b, 26), 0x20u); // access mode: archive
    EXPECT_EQ(u16_at(b, 28), 0u);    // host data
    EXPECT_EQ(std::string(b.begin() + 30, b.begin() + 30 + static_cast<long>(name.size())), name);
    EXPECT_EQ(b[30 + name.size()], 0);     // end of the name
    EXPECT_EQ(b[30 + name.size() + 1], 0); // empty comment
    EXPECT_EQ(entry.header_crc, test::crc32_of(b));
    EXPECT_EQ(entry.extended_size, 0u);
    if (method == 0) {
        EXPECT_EQ(entry.packed, original);
    }
}

TEST_F(PackTest, StoredEntriesCarryEveryHeaderFieldThenEndMarkerThenPlainTail) {
    const Bytes setup = sample_data(1000, 1), data = noise_data(5000, 2), empty;
    const Bytes tail = test::bytes_of("tail block, stored plain");
    const std::int64_t t1 = utc_seconds(2024, 3, 9, 17, 45, 22);
    const std::int64_t t2 = utc_seconds(1999, 12, 31, 23, 59, 59);
    const std::int64_t t3 = utc_seconds(1975, 1, 1, 0, 0, 0); // before 1980: clamped
    auto r = request({file("in/setup.exe", setup, t1), file("in/data.bin", data, t2),
                      file("other/readme.txt", empty, t3)});
    r.method = 0;
    r.tail = file("tail.bin", tail);
    const PackSummary summary = pack_package(r);

    const ParsedPackage parsed = parse();
    EXPECT_EQ(parsed.stub, stub);
    ASSERT_EQ(parsed.entries.size(), 3u);
    expect_entry(parsed.entries[0], "setup.exe", 0, test::dos_time(2024, 3, 9, 17, 45, 22), setup);
    expect_entry(parsed.entries[1], "data.bin", 0, test::dos_time(1999, 12, 31, 23, 59, 58), data);
    expect_entry(parsed.entries[2], "readme.txt", 0, test::dos_time(1980, 1, 1, 0, 0, 0), empty);
    EXPECT_TRUE(parsed.end_marker);
    EXPECT_EQ(parsed.tail, tail);

    ASSERT_EQ(summary.entries.size(), 3u);
    EXPECT_EQ(summary.entries[1].name, "data.bin");
    EXPECT_EQ(summary.entries[1].size, 5000u);
    EXPECT_EQ(summary.entries[1].packed_size, 5000u);
    EXPECT_EQ(summary.stub_size, stub.size());
    EXPECT_EQ(summary.tail_size, tail.size());
    EXPECT_EQ(summary.package_size, fs::file_size(output));
    EXPECT_EQ(summary.stub_size + summary.archive_size + summary.tail_size, summary.package_size);
}

TEST_F(PackTest, LongestNameFillsTheBasicHeaderLimit) {
    EXPECT_EQ(entry_name_problem(std::string(2568, 'a')), "");
    EXPECT_NE(entry_name_problem(std::string(2569, 'a')), "");
    EntryFields fields;
    fields.name = std::string(2568, 'n');
    const std::vector<unsigned char> header = entry_header(fields);
    EXPECT_EQ(u16_at(header, 2), 2600u);
    EXPECT_EQ(header.size(), 2600u + 10u);
    const struct {
        const char* name;
        bool storable;
    } names[] = {{"setup.exe", true},   {"a b-c_d~e(1).txt", true},
                 {"", false},           {".", false},
                 {"..", false},         {"a\\b", false},
                 {"a:b", false},        {"a*b", false},
                 {"a?b", false},        {"a\"b", false},
                 {"a<b>", false},       {"a|b", false},
                 {"tab\there", false},  {"caf\xc3\xa9", false},
                 {"del\x7f", false},    {"nul", false},
                 {"Con.txt", false},    {"com7.log", false},
                 {"LPT1", false},       {"com0", true},
                 {"console.txt", true}, {"nul_data.bin", true},
                 {"trailing.", false},  {"space ", false}};
    for (const auto& c : names) EXPECT_EQ(entry_name_problem(c.name).empty(), c.storable) << c.name;
}

// Every method and level, unpacked by the stub's own load_payload and extract_entries.
struct MethodCase {
    const char* label;
    int method;
    std::optional<Effort> level;
    int block_byte; // the method byte of the entries that compress
};

void PrintTo(const MethodCase& c, std::ostream* out) {
    *out << c.label;
}

class PackRoundTrip : public PackTest, public testing::WithParamInterface<MethodCase> {
  protected:
    void TearDown() override {
        if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
        output_handle = INVALID_HANDLE_VALUE;
        forget_created_files();
    }
};

TEST_P(PackRoundTrip, UnpacksToExactlyTheInputs) {
    const MethodCase& c = GetParam();
    struct Input {
        std::string name;
        Bytes bytes;
        bool compresses;
    };
    std::vector<unsigned char> with_marker = sample_data(3000, 9);
    std::copy(stamp_marker, stamp_marker + stamp_marker_size, with_marker.begin() + 1000);
    const std::vector<Input> inputs = {
        {"setup.exe", sample_data(70000, 3), true}, // crosses the window's end twice
        {"noise.bin", noise_data(40000, 4), false},
        {"zeros.bin", Bytes(100000, 0), true},
        {"empty.txt", {}, false},
        {"one.txt", {'x'}, false},
        {"stamped.dat", with_marker, true},
    };
    std::vector<fs::path> paths;
    for (const Input& input : inputs) paths.push_back(file("in/" + input.name, input.bytes));
    auto r = request(paths);
    r.method = c.method;
    r.level = c.level;
    const Bytes tail = test::bytes_of("STAMP");
    r.tail = file("tail.bin", tail);
    pack_package(r);

    const ParsedPackage parsed = parse();
    ASSERT_EQ(parsed.entries.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        int method = c.method;
        if (c.method == method_auto) method = inputs[i].compresses ? c.block_byte : 0;
        expect_entry(parsed.entries[i], inputs[i].name, method,
                     test::dos_time(2024, 3, 9, 17, 45, 22), inputs[i].bytes);
    }

    test::TempDir out;
    lstrcpyA(temp_dir, out.with_separator().c_str());
    const std::string first = (out.path() / "first.bin").string();
    output_handle = CreateFileA(first.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_ARCHIVE, nullptr);
    ASSERT_NE(output_handle, INVALID_HANDLE_VALUE);
    std::uint32_t length = 0;
    unsigned char* image =
        load_payload(output.string().c_str(), static_cast<std::uint32_t>(stub.size()), &length);
    ASSERT_NE(image, nullptr);
    const int extracted = extract_entries(image, length);
    std::free(image);
    CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;
    ASSERT_EQ(extracted, 1);

    EXPECT_EQ(test::read_file(first), inputs[0].bytes);
    for (std::size_t i = 1; i < inputs.size(); ++i) {
        Bytes expected = inputs[i].bytes;
        if (inputs[i].name == "stamped.dat")
            std::copy(tail.begin(), tail.end(), expected.begin() + 1000 + stamp_marker_size);
        EXPECT_EQ(test::read_file(out.path() / inputs[i].name), expected) << inputs[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    MethodsAndLevels, PackRoundTrip,
    testing::Values(MethodCase{"stored", 0, std::nullopt, 0}, MethodCase{"m1", 1, std::nullopt, 1},
                    MethodCase{"m2", 2, std::nullopt, 2}, MethodCase{"m3", 3, std::nullopt, 3},
                    MethodCase{"m4", 4, std::nullopt, 4}, MethodCase{"m1_fast", 1, Effort::fast, 1},
                    MethodCase{"m3_best", 3, Effort::best, 3},
                    MethodCase{"m4_best", 4, Effort::best, 4},
                    MethodCase{"auto", method_auto, std::nullopt, 2},
                    MethodCase{"auto_fast", method_auto, Effort::fast, 3},
                    MethodCase{"auto_normal", method_auto, Effort::normal, 2},
                    MethodCase{"auto_best", method_auto, Effort::best, 1}),
    [](const testing::TestParamInfo<MethodCase>& param) { return std::string(param.param.label); });

TEST_F(PackTest, SameInputsGiveTheSameBytesAndTheTimeLimitClamps) {
    const Bytes setup = sample_data(20000, 5), data = sample_data(3000, 6);
    const std::int64_t limit = utc_seconds(2020, 1, 1, 0, 0, 0);
    const fs::path a = file("setup.exe", setup, utc_seconds(2031, 5, 5, 5, 5, 5));
    const fs::path b = file("data.bin", data, utc_seconds(2019, 6, 1, 12, 0, 0));
    auto r = request({a, b});
    r.time_limit = limit;
    pack_package(r);
    const Bytes first = test::read_file(output);

    // Later modification times past the limit change nothing.
    set_mtime(a, utc_seconds(2040, 1, 1, 0, 0, 0));
    pack_package(r);
    EXPECT_EQ(test::read_file(output), first);

    const ParsedPackage parsed = parse();
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(u32_at(parsed.entries[0].basic, 8), test::dos_time(2020, 1, 1, 0, 0, 0));
    EXPECT_EQ(u32_at(parsed.entries[1].basic, 8), test::dos_time(2019, 6, 1, 12, 0, 0));

    // Without the limit the file's own time is stored.
    r.time_limit.reset();
    pack_package(r);
    EXPECT_EQ(u32_at(parse().entries[0].basic, 8), test::dos_time(2040, 1, 1, 0, 0, 0));
}

// Each refusal names the file, and leaves the output as it was and no temporary file behind.
TEST_F(PackTest, RefusalsLeaveNothingBehind) {
    const Bytes some = sample_data(500, 7);
    struct Refusal {
        const char* label;
        std::function<PackRequest(PackTest&)> make;
        const char* message; // part of the error's text
    };
    std::vector<Refusal> refusals = {
        {"duplicate base names",
         [&](PackTest& t) {
             return t.request({t.file("setup.exe", some), t.file("a/data.bin", some),
                               t.file("b/DATA.bin", some)});
         },
         "same base name as"},
        {"missing input",
         [&](PackTest& t) {
             return t.request({t.file("setup.exe", some), t.dir.path() / "missing.bin"});
         },
         "missing.bin: no such file"},
        {"directory input",
         [&](PackTest& t) {
             fs::create_directories(t.dir.path() / "folder");
             return t.request({t.file("setup.exe", some), t.dir.path() / "folder"});
         },
         "not a regular file"},
        {"later entry named setup.exe",
         [&](PackTest& t) {
             return t.request({t.file("install.exe", some), t.file("x/Setup.EXE", some)});
         },
         "Setup.EXE: only the first file"},
        {"stub without tag",
         [&](PackTest& t) {
             auto r = t.request({t.file("setup.exe", some)});
             t.stub = Bytes(3000, 0x90);
             r.stub = t.stub;
             return r;
         },
         "test stub: not a stub"},
        {"stub with another size stored",
         [&](PackTest& t) {
             auto r = t.request({t.file("setup.exe", some)});
             t.stub.push_back(0);
             r.stub = t.stub;
             return r;
         },
         "not its size 4097"},
        {"stub whose field is cut off",
         [&](PackTest& t) {
             auto r = t.request({t.file("setup.exe", some)});
             t.stub.assign(std::begin(payload_offset_tag), std::end(payload_offset_tag));
             t.stub.push_back(8);
             r.stub = t.stub;
             return r;
         },
         "cut off"},
        {"missing tail",
         [&](PackTest& t) {
             auto r = t.request({t.file("setup.exe", some)});
             r.tail = t.dir.path() / "no-tail.bin";
             return r;
         },
         "no-tail.bin: no such file"},
        {"input of 4 GiB",
         [&](PackTest& t) {
             const fs::path big = t.file("big.bin", {});
             fs::resize_file(big, std::uint64_t{1} << 32); // sparse: nothing is written
             return t.request({t.file("setup.exe", some), big});
         },
         "big.bin: larger than 4 GiB - 1 bytes"},
        {"output is an input",
         [&](PackTest& t) {
             return t.request({t.file("setup.exe", some), t.output});
         },
         "package.exe: is also an input"},
        {"output directory missing",
         [&](PackTest& t) {
             auto r = t.request({t.file("setup.exe", some)});
             r.output = t.dir.path() / "nowhere" / "package.exe";
             return r;
         },
         "cannot create"},
    };
#ifndef _WIN32
    // Names that only other systems' file names can hold.
    refusals.push_back({"name Windows cannot hold",
                        [&](PackTest& t) {
                            return t.request({t.file("setup.exe", some), t.file("a:b", some)});
                        },
                        "a:b: cannot be stored"});
    refusals.push_back({"backslash in the name",
                        [&](PackTest& t) {
                            return t.request({t.file("setup.exe", some), t.file("a\\b", some)});
                        },
                        "cannot be stored"});
    refusals.push_back(
        {"name outside ASCII",
         [&](PackTest& t) {
             return t.request({t.file("setup.exe", some), t.file("caf\xc3\xa9.txt", some)});
         },
         "cannot be stored"});
#endif
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.label);
        PackTest& t = *this;
        stub = fake_stub();
        test::write_file(output, test::bytes_of("the old package"));
        const PackRequest r = refusal.make(t);
        const std::vector<std::string> before = dir.names();
        try {
            pack_package(r);
            ADD_FAILURE() << "not refused";
        } catch (const PackageError& e) {
            EXPECT_NE(std::string(e.what()).find(refusal.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(dir.names(), before);
        EXPECT_EQ(test::read_file(output), test::bytes_of("the old package"));
    }
}

#ifndef _WIN32
TEST_F(PackTest, UnreadableInputIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const fs::path locked = file("locked.bin", sample_data(100, 8));
    fs::permissions(locked, fs::perms::none);
    try {
        pack_package(request({file("setup.exe", {1, 2, 3}), locked}));
        ADD_FAILURE() << "not refused";
    } catch (const PackageError& e) {
        EXPECT_NE(std::string(e.what()).find("locked.bin: cannot be read"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(output));
}
#endif

} // namespace
