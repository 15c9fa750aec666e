// sfxkit pack (placeholder until the command is written).
#include "tools/commands.h"

void add_pack_command(CLI::App& app) {
    app.add_subcommand("pack", "(not available yet)")->callback([] {
        throw ToolError("pack: not available yet");
    });
}
