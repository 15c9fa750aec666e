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
    for (const DamageCase& item : cases_in_group(GetParam())) {
        if (item.expect != Expect::fail) continue;
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

INSTANTIATE_TEST_SUITE_P(Groups, StubRobustness, testing::ValuesIn(case_groups()),
                         [](const testing::TestParamInfo<std::string>& group) {
                             return group_test_name(group.param);
                         });

} // namespace
