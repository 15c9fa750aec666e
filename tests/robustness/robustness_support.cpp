#include "tests/robustness/robustness_support.h"

#include "archive/extract_entries.h"
#include "archive/output_files.h"
#include "payload/load_payload.h"
#include "payload/payload_offset.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace robustness {

namespace fs = std::filesystem;

namespace {
const Bytes bystander = test::bytes_of("a file next to the package; nothing may change it");
}

RunDir::RunDir(const Bytes& package_bytes) : package_(package_bytes) {
    test::write_file(package(), package_);
    test::write_file(root() / "bystander.txt", bystander);
    fs::create_directory(temp());
}

std::string RunDir::outside_changes(const std::vector<std::string>& also_allowed) const {
    std::string changes;
    std::vector<std::string> expected = {"bystander.txt", "package.exe", "tmp"};
    expected.insert(expected.end(), also_allowed.begin(), also_allowed.end());
    std::sort(expected.begin(), expected.end());
    for (const std::string& name : names_in(root())) {
        if (!std::binary_search(expected.begin(), expected.end(), name))
            changes += "unexpected file " + name + " next to the package\n";
    }
    if (!fs::exists(package()) || test::read_file(package()) != package_)
        changes += "the package changed\n";
    if (!fs::exists(root() / "bystander.txt") ||
        test::read_file(root() / "bystander.txt") != bystander)
        changes += "the bystander file changed\n";
    return changes;
}

std::vector<std::string> names_in(const fs::path& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(directory, error))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes fake_stub_package(const Bytes& payload) {
    Bytes package(payload_offset_tag, payload_offset_tag + sizeof payload_offset_tag);
    for (int i = 0; i < 4; ++i)
        package.push_back(static_cast<unsigned char>(fake_stub_size >> (8 * i)));
    package.resize(fake_stub_size, 0);
    package.insert(package.end(), payload.begin(), payload.end());
    return package;
}

ExtractionOutcome extract_in_process(const Bytes& payload) {
    ExtractionOutcome outcome;
    RunDir run(fake_stub_package(payload));
    const std::string temp = run.temp().string() + "/";
    const std::string target = temp + "setup.exe";
    lstrcpyA(temp_dir, temp.c_str());
    output_handle = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (output_handle == INVALID_HANDLE_VALUE) {
        outcome.problems = "cannot create the temporary program file\n";
        return outcome;
    }

    std::uint32_t length = 0;
    unsigned char* image = load_payload(run.package().c_str(), fake_stub_size, &length);
    outcome.loaded = image != nullptr;
    if (image) outcome.result = extract_entries(image, length);
    outcome.made = names_in(run.temp());

    for (const CreatedFile* node = created_files; node; node = node->next) {
        const std::string path = node->path;
        const std::string base = path.substr(std::min(path.size(), temp.size()));
        if (path.compare(0, temp.size(), temp) != 0 || base.empty() || base == "." ||
            base == ".." || base.find('/') != std::string::npos) {
            outcome.problems += "created_files lists " + path + ", not a file in " + temp + "\n";
        }
    }

    std::free(image);
    if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;
    DeleteFileA(target.c_str());
    delete_created_files();
    outcome.left = names_in(run.temp());
    if (!outcome.left.empty()) outcome.problems += "files left in the temporary directory\n";
    outcome.problems += run.outside_changes();
    return outcome;
}

ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const fs::path& directory,
                          const std::map<std::string, std::string>& environment) {
    ProcessResult result;
    char out_template[] = "/tmp/sfxkit-robustness-out-XXXXXX";
    char err_template[] = "/tmp/sfxkit-robustness-err-XXXXXX";
    const int out_fd = mkstemp(out_template);
    const int err_fd = mkstemp(err_template);

    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [key, value] : environment) variables[key] = value;
    std::vector<std::string> env_words;
    for (const auto& [key, value] : variables) env_words.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& word : env_words) envp.push_back(word.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
    const std::string where = directory.string();
    posix_spawn_file_actions_addchdir_np(&actions, where.c_str());
    pid_t child = 0;
    const int failed =
        posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed == 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
        }
        if (WIFEXITED(status)) {
            result.exit_code = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    close(out_fd);
    close(err_fd);
    const Bytes out = test::read_file(out_template);
    const Bytes err = test::read_file(err_template);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    unlink(out_template);
    unlink(err_template);
    return result;
}

std::string group_test_name(const std::string& group) {
    std::string name;
    bool upper = true;
    for (char c : group) {
        if (c == ' ') {
            upper = true;
            continue;
        }
        name.push_back(upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c);
        upper = false;
    }
    return name;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace robustness
