// sfxkit verify: unpacks every entry with the stub's own code and checks it as the stub would
// (the walk's rules, the base names of later entries, the CRC-32 of the bytes before stamping).
#include "tools/commands.h"
#include "tools/inspect.h"
#include "tools/offset_option.h"
#include "tools/package.h"

#include <iostream>

void verify_package(const std::string& path, std::optional<std::uint32_t> offset) {
    Package package = Package::open(path, offset);
    const std::string problem = package.walk(true);
    if (!problem.empty()) throw ToolError(package.message(problem));
}

void add_verify_command(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "verify", "Check that the launcher would unpack every entry of a package");
    auto package = std::make_shared<std::string>();
    command->add_option("PACKAGE", *package, "The package")->required();
    auto offset = add_offset_option(*command);
    command->footer(
        "Unpacks every entry as the launcher would and checks its CRC-32. Exit status 0\n"
        "(and the line 'PACKAGE: ok') when the launcher would accept the package, else\n"
        "one line naming the first problem (entry number and name) and exit status 1.");
    command->callback([package, offset] {
        verify_package(*package, offset->get());
        std::cout << *package << ": ok\n";
    });
}
