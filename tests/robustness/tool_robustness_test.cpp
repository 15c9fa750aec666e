// sfxkit list, verify and extract over every damaged package of the table (the real native stub
// followed by the damaged payload). Expected of every command: no crash; on failure exit 1 with
// one line "sfxkit: <package>: <problem>" and nothing written; verify agrees with what the stub's
// own unpacking path makes of the payload; extract writes only into its target directory, and
// only when the whole package is good.
#include "tests/robustness/damaged_packages.h"
#include "tests/robustness/robustness_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace robustness;
namespace fs = std::filesystem;

Bytes stub_package(const Bytes& payload) {
    static const Bytes stub = test::read_file(SFXSTUB_PATH);
    Bytes package = stub;
    package.insert(package.end(), payload.begin(), payload.end());
    return package;
}

// Empty when the failed command said one clear line about the package, else what is wrong.
std::string one_clear_line(const ProcessResult& result, const std::string& package) {
    const std::vector<std::string> lines = lines_of(result.err);
    if (lines.size() != 1) return "expected one line on standard error, got:\n" + result.err;
    const std::string prefix = "sfxkit: " + package + ": ";
    if (lines[0].compare(0, prefix.size(), prefix) != 0 || lines[0].size() == prefix.size())
        return "expected \"" + prefix + "<problem>\", got: " + lines[0];
    return "";
}

class ToolRobustness : public testing::TestWithParam<std::string> {};

// The bit flips are many; the tool gets one bit of the three per spot.
bool sampled(const DamageCase& item) {
    const std::string last = " bit 0";
    return item.group != "bit flip" ||
           (item.label.size() > last.size() &&
            item.label.compare(item.label.size() - last.size(), last.size(), last) == 0);
}

TEST_P(ToolRobustness, ListVerifyExtract) {
    std::size_t index = 0;
    for (const DamageCase& item : cases_in_group(GetParam())) {
        if (!sampled(item) || index++ % process_case_stride != 0) continue;
        SCOPED_TRACE(item.label);
        const bool accepted = extract_in_process(item.payload).result == 1;
        RunDir run(stub_package(item.payload));
        const std::string package = run.package().string();
        const fs::path out = run.root() / "out";
        fs::create_directory(out);

        const ProcessResult list = run_process(SFXKIT_PATH, {"list", package}, run.root());
        EXPECT_EQ(list.signal, 0);
        EXPECT_TRUE(list.exit_code == 0 || list.exit_code == 1) << list.exit_code;
        if (list.exit_code == 1) {
            EXPECT_EQ(one_clear_line(list, package), "");
        }
        if (list.exit_code == 0) {
            EXPECT_EQ(list.err, "");
        }

        const ProcessResult verify = run_process(SFXKIT_PATH, {"verify", package}, run.root());
        EXPECT_EQ(verify.signal, 0);
        if (!item.temp_dir_dependent) {
            EXPECT_EQ(verify.exit_code, accepted ? 0 : 1) << verify.err;
        }
        if (verify.exit_code == 1) {
            EXPECT_EQ(one_clear_line(verify, package), "");
        }

        const ProcessResult extract =
            run_process(SFXKIT_PATH, {"extract", package, "-C", out.string()}, run.root());
        EXPECT_EQ(extract.signal, 0);
        if (!accepted && !item.temp_dir_dependent) {
            EXPECT_EQ(extract.exit_code, 1);
        }
        if (extract.exit_code == 0) {
            EXPECT_FALSE(names_in(out).empty());
            for (const auto& file : fs::recursive_directory_iterator(out))
                EXPECT_TRUE(file.is_regular_file()) << file.path();
        } else {
            EXPECT_EQ(extract.exit_code, 1);
            EXPECT_EQ(one_clear_line(extract, package), "");
            EXPECT_EQ(names_in(out), std::vector<std::string>{}) << "half-written output";
        }
        EXPECT_EQ(names_in(run.temp()), std::vector<std::string>{});
        EXPECT_EQ(run.outside_changes({"out"}), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, ToolRobustness, testing::ValuesIn(case_groups()),
                         [](const testing::TestParamInfo<std::string>& group) {
                             return group_test_name(group.param);
                         });

} // namespace
