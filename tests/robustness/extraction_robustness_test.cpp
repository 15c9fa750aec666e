// The stub's unpacking path in process, on the native platform, over every damaged package of
// the table (damaged_packages.h) and over the inputs the fuzz target once failed on
// (tests/robustness/findings): no crash, the outcome each case calls for, files only in the
// temporary directory and nothing left there after the clean-up.
#include "tests/robustness/damaged_packages.h"
#include "tests/robustness/robustness_support.h"

#include "payload/load_payload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace robustness;
namespace fs = std::filesystem;

TEST(ExtractionRobustness, EveryDamagedPackage) {
    const std::vector<DamageCase> cases = damage_cases();
    int failed = 0;
    int succeeded = 0;
    for (const DamageCase& item : cases) {
        SCOPED_TRACE(item.label);
        const ExtractionOutcome outcome = extract_in_process(item.payload);
        EXPECT_EQ(outcome.problems, "");
        if (item.expect == Expect::fail) {
            EXPECT_EQ(outcome.result, 0);
        }
        if (item.expect == Expect::succeed) {
            EXPECT_EQ(outcome.result, 1);
        }
        if (outcome.result == 1) {
            for (const std::string& name : item.made) {
                EXPECT_TRUE(std::binary_search(outcome.made.begin(), outcome.made.end(), name))
                    << name;
            }
        }
        (outcome.result ? succeeded : failed) += 1;
    }
    // The table exercises both outcomes in earnest.
    EXPECT_GT(failed, 100);
    EXPECT_GT(succeeded, 30);
}

// A successful run of the good package writes every entry, stamped, under its base name.
TEST(ExtractionRobustness, TheGoodPackageUnpacksInFull) {
    const ExtractionOutcome outcome = extract_in_process(good_package().payload);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.made, (std::vector<std::string>{"empty.txt", "log.txt", "notes.txt",
                                                      "raw.bin", "setup.exe", "table.bin"}));
}

// A file of 4 GiB or more cannot be a package: taking the low 32 bits of its size would read a
// wrong stretch of it (here the start of the payload, which alone is a good archive).
TEST(ExtractionRobustness, AFileOfFourGibibytesOrMoreIsNoPackage) {
    test::TempDir dir;
    const fs::path path = dir.path() / "package.exe";
    const Bytes package = fake_stub_package(good_package().payload);
    test::write_file(path, package);
    std::uint32_t length = 0;
    unsigned char* image = load_payload(path.c_str(), fake_stub_size, &length);
    ASSERT_NE(image, nullptr);
    std::free(image);

    std::error_code error;
    fs::resize_file(path, (std::uint64_t{1} << 32) + package.size(), error); // sparse
    if (error) GTEST_SKIP() << "no sparse file of 4 GiB here: " << error.message();
    length = 0;
    image = load_payload(path.c_str(), fake_stub_size, &length);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(length, 0u);
    std::free(image);
}

// The fuzz target's seeds and every input it once found a fault with, replayed through the
// native build's path.
TEST(ExtractionRobustness, FuzzSeedsAndFindingsReplay) {
    const char* source = std::getenv("SFXKIT_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    int replayed = 0;
    for (const fs::path& directory : {fs::path(source) / "fuzz" / "corpus",
                                      fs::path(source) / "tests" / "robustness" / "findings"}) {
        for (const auto& item : fs::directory_iterator(directory)) {
            if (!item.is_regular_file() || item.path().extension() == ".md") continue;
            SCOPED_TRACE(item.path().string());
            const ExtractionOutcome outcome = extract_in_process(test::read_file(item.path()));
            EXPECT_EQ(outcome.problems, "");
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 20);
}

} // namespace
