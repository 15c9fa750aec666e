// sfxkit: builds, inspects, verifies, extracts and re-stamps self-extracting setup packages.
#include "tools/commands.h"

#include <cstdio>
#include <exception>

#ifndef SFXKIT_VERSION
#define SFXKIT_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
    CLI::App app{"sfxkit: build, inspect, verify, extract and re-stamp self-extracting setup "
                 "packages for Windows",
                 "sfxkit"};
    app.set_version_flag("--version", "sfxkit " SFXKIT_VERSION);
    // At most one command; whether one is given is checked after parsing, so that an unknown
    // command is reported as such rather than as a missing one.
    app.require_subcommand(0, 1);
    add_pack_command(app);
    add_list_command(app);
    add_verify_command(app);
    add_extract_command(app);
    add_stamp_command(app);
    app.footer("Exit status: 0 on success, 1 when the work failed, 2 for a bad command line.\n"
               "Run 'sfxkit COMMAND --help' for the options of a command.");
    try {
        app.parse(argc, argv);
        if (app.get_subcommands().empty()) throw CLI::RequiredError("A command");
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "sfxkit: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sfxkit: %s\n", e.what());
        return 1;
    }
    return 0;
}
