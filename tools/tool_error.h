// ToolError: a failure that sfxkit reports as one line, "sfxkit: <message>", with exit code 1.
// The message names the file it concerns: "<file>: <what is wrong>".
#pragma once

#include <stdexcept>

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
