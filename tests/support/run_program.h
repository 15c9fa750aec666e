// Running a built program from a test, its standard output and error captured.
#pragma once

#include <string>
#include <vector>

namespace test {

struct Outcome {
    int code;        // the exit status
    std::string out; // standard output, CR LF line ends read as LF
    std::string err; // standard error, likewise
};

// The text quoted for the shell that std::system uses here.
std::string quoted(const std::string& text);

// Runs program with the arguments through the shell and waits for it.
Outcome run_program(const std::string& program, const std::vector<std::string>& args);

} // namespace test
