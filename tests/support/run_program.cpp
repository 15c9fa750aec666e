#include "tests/support/run_program.h"

#include "tests/support/test_support.h"

#include <cstdlib>
#include <filesystem>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace test {

std::string quoted(const std::string& text) {
#ifdef _WIN32
    return "\"" + text + "\"";
#else
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

namespace {
// Windows writes line ends as CR LF.
std::string text_of(const Bytes& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c != '\r') text.push_back(static_cast<char>(c));
    }
    return text;
}
} // namespace

Outcome run_program(const std::string& program, const std::vector<std::string>& args) {
    TempDir capture;
    const std::filesystem::path out = capture.path() / "out", err = capture.path() / "err";
    std::string command = quoted(program);
    for (const std::string& arg : args) command += " " + quoted(arg);
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
#ifdef _WIN32
    // cmd.exe strips one pair of quotes around the whole command line.
    command = "\"" + command + "\"";
    const int code = std::system(command.c_str());
#else
    const int status = std::system(command.c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return {code, text_of(read_file(out)), text_of(read_file(err))};
}

} // namespace test
