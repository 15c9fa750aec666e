// sfxkit stamp (placeholder until the command is written).
#include "tools/commands.h"

void add_stamp_command(CLI::App& app) {
    app.add_subcommand("stamp", "(not available yet)")->callback([] {
        throw ToolError("stamp: not available yet");
    });
}
