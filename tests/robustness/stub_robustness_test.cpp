// The native stub end to end over every damaged package that the stub must refuse: each package
// is the real stub followed by the damaged payload, run with TMPDIR set to a private directory.
// Expected of every run: the unpack failure message (one line on standard error natively), exit
// code 0, nothing left in the temporary directory and nothing outside it touched.
#include "tests/robustness/damaged_packages.h"
#include "tests/robustness/robustness_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace robustness;
namespace fs = std::filesystem;

Bytes stub_package(const Bytes& payload) {
    Bytes package = test::read_file(SFXSTUB_PATH);
    package.insert(package.end(), payload.begin(), payload.end());
    return package;
}

class StubRobustness : public testing::TestWithParam<std::string> {};

TEST_P(StubRobustness, EveryRefusedPackageFailsCleanly) {
    std::size_t index = 0;
    for (const DamageCase& item : cases_in_group(GetParam())) {
        if (item.expect != Expect::fail || index++ % process_case_stride != 0) continue;
        SCOPED_TRACE(item.label);
        RunDir run(stub_package(item.payload));
        fs::permissions(run.package(), fs::perms::owner_all);
        const std::string package = run.package().string();
        const ProcessResult result =
            run_process(package, {}, run.root(), {{"TMPDIR", run.temp().string()}});
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.err, "Unable to unpack files. The file " + package +
                                  " may be damaged. Try to download again.\n");
        EXPECT_EQ(names_in(run.temp()), std::vector<std::string>{});
        EXPECT_EQ(run.outside_changes(), "");
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// A compressed entry whose unpacked size cannot be allocated: with 256 MiB of address space the
// sink for almost 4 GiB cannot be had, and the run fails as for any damage, leaving nothing.
TEST(StubRobustness, AnUnpackedSizeThatCannotBeAllocated) {
    const GoodPackage& good = good_package();
    std::vector<test::RawEntry> entries = good.entries;
    entries[3].unpacked_size = 0xFFFFFFF0u; // log.txt, method 4
    RunDir run(stub_package(test::scramble(test::archive_of(entries), good.tail)));
    fs::permissions(run.package(), fs::perms::owner_all);
    const std::string package = run.package().string();
    const ProcessResult result =
        run_process("/bin/sh", {"-c", "ulimit -v 262144 && exec \"$0\"", package}, run.root(),
                    {{"TMPDIR", run.temp().string()}});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "Unable to unpack files. The file " + package +
                              " may be damaged. Try to download again.\n");
    EXPECT_EQ(names_in(run.temp()), std::vector<std::string>{});
    EXPECT_EQ(run.outside_changes(), "");
}
#endif

INSTANTIATE_TEST_SUITE_P(Groups, StubRobustness, testing::ValuesIn(case_groups()),
                         [](const testing::TestParamInfo<std::string>& group) {
                             return group_test_name(group.param);
                         });

} // namespace
