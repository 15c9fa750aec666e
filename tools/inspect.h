// The inspecting commands' work, apart from their command lines: list, verify, extract and stamp
// a package. Each throws ToolError ("<file>: <what is wrong>") when it fails. An offset, when
// given, overrides the payload offset that the package's stub holds.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

// Prints the listing (see list_format) to out. An archive the stub would reject is listed as far
// as it can be, then reported.
void list_package(const std::string& package, std::optional<std::uint32_t> offset,
                  std::ostream& out);

// The listing's format, as --help shows it.
extern const char* const list_format;

// Checks every entry as the stub would; returns normally when the stub would accept the package.
void verify_package(const std::string& package, std::optional<std::uint32_t> offset);

// Writes the entries as files into directory; on failure nothing it wrote is left. Returns the
// number of files written.
int extract_package(const std::string& package, const std::string& directory,
                    std::optional<std::uint32_t> offset);

// Replaces the tail block with tail_file's bytes, writing output (the package itself when empty)
// through a temporary file and a rename. Warnings go to warnings.
void stamp_package(const std::string& package, const std::string& tail_file,
                   const std::string& output, std::optional<std::uint32_t> offset,
                   std::ostream& warnings);
