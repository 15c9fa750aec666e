// sfxkit list (placeholder until the command is written).
#include "tools/commands.h"

void add_list_command(CLI::App& app) {
    app.add_subcommand("list", "(not available yet)")->callback([] {
        throw ToolError("list: not available yet");
    });
}
