// Running a payload the way the stub does, in process on the native platform, and running the
// stub and the tool as processes, each in a private directory; plus what every run must leave.
#pragma once

#include "tests/support/test_support.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace robustness {

using test::Bytes;

// A private directory laid out for one run: the package file, a temporary directory "tmp" that
// the run may use, and a bystander file next to them that nothing may touch.
class RunDir {
  public:
    explicit RunDir(const Bytes& package_bytes);
    const std::filesystem::path& root() const { return dir_.path(); }
    std::filesystem::path package() const { return root() / "package.exe"; }
    std::filesystem::path temp() const { return root() / "tmp"; }
    // Empty when everything outside the temporary directory is as it was, else what changed.
    std::string outside_changes(const std::vector<std::string>& also_allowed = {}) const;

  private:
    test::TempDir dir_;
    Bytes package_;
};

// Names of the entries of a directory, sorted.
std::vector<std::string> names_in(const std::filesystem::path& directory);

// What the in-process run made of a payload.
struct ExtractionOutcome {
    bool loaded = false;
    int result = 0;
    std::vector<std::string> made; // names in the temporary directory after extraction
    std::vector<std::string> left; // names in it after the clean-up
    std::string problems;          // broken guarantees, one per line
};

// load_payload and extract_entries with temp_dir a private directory and the temporary program
// file "setup.exe" opened there with CREATE_NEW, then the launcher's clean-up. Checks that
// created_files lists only plain names in the temporary directory, that nothing outside it was
// touched, and that the clean-up leaves it empty.
ExtractionOutcome extract_in_process(const Bytes& payload);

// A package: a 16-byte stand-in stub (which holds the payload offset tag with its own size, as
// the tool expects) followed by the payload.
constexpr std::uint32_t fake_stub_size = 16;
Bytes fake_stub_package(const Bytes& payload);

// One finished process.
struct ProcessResult {
    int exit_code = -1; // -1 when it did not exit normally (a signal)
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs program with arguments in directory, with extra environment variables set, and waits.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const std::filesystem::path& directory,
                          const std::map<std::string, std::string>& environment = {});

// Under AddressSanitizer every process starts and runs several times slower: the suites that run
// the stub and the tool as processes then take every third case, which keeps them to a minute.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t process_case_stride = 3;
#else
constexpr std::size_t process_case_stride = 1;
#endif

// A group's name as a test name: "bit flip" gives "BitFlip".
std::string group_test_name(const std::string& group);

// The lines of text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

} // namespace robustness
