// The subcommands of sfxkit. Each registers itself on the application; the command's work runs
// from its callback and reports failure by throwing ToolError.
#pragma once

#include <CLI/CLI.hpp>

#include <stdexcept>
#include <string>

// A failure to report as one line, "sfxkit: <message>", with exit code 1.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void add_pack_command(CLI::App& app);
void add_list_command(CLI::App& app);
void add_verify_command(CLI::App& app);
void add_extract_command(CLI::App& app);
void add_stamp_command(CLI::App& app);
