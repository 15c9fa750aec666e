// sfxkit verify (placeholder until the command is written).
#include "tools/commands.h"

void add_verify_command(CLI::App& app) {
    app.add_subcommand("verify", "(not available yet)")->callback([] {
        throw ToolError("verify: not available yet");
    });
}
