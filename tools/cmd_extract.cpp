// sfxkit extract (placeholder until the command is written).
#include "tools/commands.h"

void add_extract_command(CLI::App& app) {
    app.add_subcommand("extract", "(not available yet)")->callback([] {
        throw ToolError("extract: not available yet");
    });
}
