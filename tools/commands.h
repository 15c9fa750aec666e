// The subcommands of sfxkit. Each registers itself on the application; the command's work runs
// from its callback and reports failure by throwing ToolError.
#pragma once

#include "tools/tool_error.h"

#include <CLI/CLI.hpp>

#include <string>

void add_pack_command(CLI::App& app);
void add_list_command(CLI::App& app);
void add_verify_command(CLI::App& app);
void add_extract_command(CLI::App& app);
void add_stamp_command(CLI::App& app);
