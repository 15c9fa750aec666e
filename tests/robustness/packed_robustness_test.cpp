// Damage to a package made by `sfxkit pack` itself (methods 1 and 4, a tail block): truncated at
// many lengths and with one bit flipped at many places, each run in process, through
// `sfxkit verify` and, when the stub must refuse it, through the native stub. The tool and the
// stub must agree with the unpacking path, and every refusal must be clean.
#include "tests/robustness/damaged_packages.h"
#include "tests/robustness/robustness_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace robustness;
namespace fs = std::filesystem;

// The payload of a package that sfxkit packs with the native stub.
Bytes packed_payload(int method) {
    test::TempDir dir;
    Bytes setup = test::bytes_of("#!/bin/sh\nexit 0\n");
    for (int i = 0; i < 200; ++i) setup.push_back(static_cast<unsigned char>(i * 7));
    Bytes readme;
    for (int i = 0; i < 80; ++i) {
        const Bytes line = test::bytes_of("line " + std::to_string(i) + " of the readme, words\n");
        readme.insert(readme.end(), line.begin(), line.end());
    }
    test::write_file(dir.path() / "setup.sh", setup);
    test::write_file(dir.path() / "readme.txt", readme);
    test::write_file(dir.path() / "tail", test::bytes_of("stamped by the packer"));
    const fs::path out = dir.path() / "package.exe";
    const ProcessResult pack =
        run_process(SFXKIT_PATH,
                    {"pack", "-q", "-o", out.string(), "--stub", "native", "-m",
                     std::to_string(method), "--tail", (dir.path() / "tail").string(),
                     (dir.path() / "setup.sh").string(), (dir.path() / "readme.txt").string()},
                    dir.path());
    EXPECT_EQ(pack.exit_code, 0) << pack.err;
    const Bytes package = test::read_file(out);
    const Bytes stub = test::read_file(SFXSTUB_PATH);
    EXPECT_GT(package.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), package.begin()));
    return Bytes(package.begin() + static_cast<long>(stub.size()), package.end());
}

class PackedRobustness : public testing::TestWithParam<int> {};

TEST_P(PackedRobustness, TruncatedAndFlipped) {
    const Bytes good = packed_payload(GetParam());
    ASSERT_EQ(extract_in_process(good).result, 1);
    std::vector<std::pair<std::string, Bytes>> cases;
    const std::size_t step = good.size() / 40 + 1;
    for (std::size_t length = 0; length < good.size(); length += step)
        cases.push_back({"truncated to " + std::to_string(length),
                         Bytes(good.begin(), good.begin() + static_cast<long>(length))});
    for (std::size_t at = 0; at < good.size(); at += (at < 80 ? 3 : step)) {
        Bytes flipped = good;
        flipped[at] ^= static_cast<unsigned char>(1u << (at % 8));
        cases.push_back(
            {"bit " + std::to_string(at % 8) + " of byte " + std::to_string(at), flipped});
    }
    const Bytes stub = test::read_file(SFXSTUB_PATH);
    std::size_t index = 0;
    for (const auto& [label, payload] : cases) {
        if (index++ % process_case_stride != 0) continue;
        SCOPED_TRACE(label);
        const ExtractionOutcome outcome = extract_in_process(payload);
        EXPECT_EQ(outcome.problems, "");
        Bytes package = stub;
        package.insert(package.end(), payload.begin(), payload.end());
        RunDir run(package);
        fs::permissions(run.package(), fs::perms::owner_all);
        const std::string path = run.package().string();

        const ProcessResult verify = run_process(SFXKIT_PATH, {"verify", path}, run.root());
        EXPECT_EQ(verify.exit_code, outcome.result == 1 ? 0 : 1) << verify.err;
        if (outcome.result == 0) {
            const std::vector<std::string> lines = lines_of(verify.err);
            ASSERT_EQ(lines.size(), 1u) << verify.err;
            EXPECT_EQ(lines[0].rfind("sfxkit: " + path + ": ", 0), 0u) << lines[0];

            const ProcessResult result =
                run_process(path, {}, run.root(), {{"TMPDIR", run.temp().string()}});
            EXPECT_EQ(result.exit_code, 0);
            EXPECT_EQ(result.err, "Unable to unpack files. The file " + path +
                                      " may be damaged. Try to download again.\n");
        }
        EXPECT_EQ(names_in(run.temp()), std::vector<std::string>{});
        EXPECT_EQ(run.outside_changes(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, PackedRobustness, testing::Values(1, 4),
                         [](const testing::TestParamInfo<int>& method) {
                             return "Method" + std::to_string(method.param);
                         });

} // namespace
