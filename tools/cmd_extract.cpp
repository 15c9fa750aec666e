// sfxkit extract: writes a package's entries as files into a directory with the stub's own
// extraction (extract_entries): the first entry under its stored base name, later entries under
// theirs, with the entries' DOS times as file times. Every name is checked before anything is
// written, and a failed extraction removes every file it wrote.
#include "archive/extract_entries.h"
#include "archive/format.h"
#include "archive/output_files.h"
#include "payload/keystream.h"
#include "platform/win32.h"
#include "tools/commands.h"
#include "tools/inspect.h"
#include "tools/offset_option.h"
#include "tools/package.h"

#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr char separator = '\\';

// Names that Windows would not store as a plain file in the directory (beyond the characters it
// refuses outright): a colon, which names a stream of another file, trailing dots and spaces,
// which it drops, and device names.
std::string windows_name_problem(const std::string& base) {
    if (base.find(':') != std::string::npos) {
        return "its base name holds a colon, which Windows reads as a stream name";
    }
    if (base.back() == '.' || base.back() == ' ') {
        return "its base name ends in a dot or a space, which Windows drops";
    }
    std::string stem = base.substr(0, base.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    static const char* const devices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const char* device : devices) {
        if (stem == device) return "its base name is the Windows device name " + stem;
    }
    return {};
}
#else
constexpr char separator = '/';
#endif

// The directory as extract_entries takes it: with one trailing separator.
std::string directory_prefix(const std::string& directory) {
    std::string prefix = directory.empty() ? std::string(".") : directory;
    const bool ends_in_separator =
        prefix.back() == separator || (separator == '\\' && prefix.back() == '/');
    if (!ends_in_separator) prefix += separator;
    return prefix;
}

// The base names the entries will be written under, first entry first, after checking that each
// can be written safely into the directory and that the stub's walk accepts the headers.
std::vector<std::string> checked_base_names(Package& package, const std::string& prefix) {
    std::vector<std::string> names;
    std::string name_problem;
    const std::string walk_problem =
        package.walk(false, [&](const EntryView& entry, const UnpackResult*) {
            if (!name_problem.empty()) return;
            std::string base = entry.name_terminated ? base_name_of(entry.name) : std::string();
            std::string problem = !entry.name_terminated ? "its name has no terminating NUL"
                                  : entry.name.empty()   ? "its name is empty"
                                                         : base_name_problem(base);
#if defined(_WIN32)
            if (problem.empty()) problem = windows_name_problem(base);
#endif
            if (problem.empty() && prefix.size() + base.size() + 1 > path_buffer_size) {
                problem = "the path " + printable_name(prefix + base) + " is longer than " +
                          std::to_string(path_buffer_size - 1) + " bytes";
            }
            if (!problem.empty()) {
                name_problem = describe_entry(entry) + ": " + problem;
                return;
            }
            names.push_back(std::move(base));
        });
    if (!name_problem.empty())
        throw ToolError(package.message(name_problem + "; nothing extracted"));
    if (!walk_problem.empty())
        throw ToolError(package.message(walk_problem + "; nothing extracted"));
    return names;
}

// Removes what a failed extraction wrote: the first entry's file and every listed later one.
void remove_written_files(const std::string& first_path) {
    if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;
    DeleteFileA(first_path.c_str());
    delete_created_files();
}

} // namespace

int extract_package(const std::string& path, const std::string& directory,
                    std::optional<std::uint32_t> offset) {
    Package package = Package::open(path, offset);
    const std::string shown_directory = directory.empty() ? "." : directory;
    std::error_code error;
    if (!fs::is_directory(shown_directory, error)) {
        throw ToolError(shown_directory + ": no such directory");
    }
    const std::string prefix = directory_prefix(directory);
    if (prefix.size() + 1 > path_buffer_size) {
        throw ToolError(shown_directory + ": the directory's path is longer than " +
                        std::to_string(path_buffer_size - 2) + " bytes");
    }
    const std::vector<std::string> names = checked_base_names(package, prefix);

    // Files already in the directory are never replaced: a failed extraction removes what it
    // wrote, which would then take a file of the user's with it.
    for (const std::string& name : names) {
        if (fs::exists(fs::symlink_status(prefix + name, error))) {
            throw ToolError(prefix + name + ": already exists; nothing extracted");
        }
    }

    std::memcpy(temp_dir, prefix.c_str(), prefix.size() + 1);
    const std::string first_path = prefix + names.front();
    output_handle = CreateFileA(first_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (output_handle == INVALID_HANDLE_VALUE) {
        throw ToolError(first_path + ": cannot create the file; nothing extracted");
    }

    // extract_entries restores the tail block itself, as the first thing it does; the package
    // holds it restored already, and restoring twice scrambles it again, so undo it first.
    unsigned char* image = package.image();
    restore_tail(image, package.payload_length(), package.archive_end());
    const int extracted = extract_entries(image, package.payload_length());
    if (!extracted) {
        remove_written_files(first_path);
        // The walk says what the stub's extraction stopped at; when it finds nothing wrong, the
        // files themselves could not be written.
        const std::string problem = package.walk(true);
        throw ToolError(package.message(
            (problem.empty() ? "cannot write the files in " + shown_directory : problem) +
            "; nothing extracted"));
    }
    if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;
    forget_created_files();
    return static_cast<int>(names.size());
}

void add_extract_command(CLI::App& app) {
    CLI::App* command =
        app.add_subcommand("extract", "Write the entries of a package as files into a directory");
    auto package = std::make_shared<std::string>();
    auto directory = std::make_shared<std::string>();
    command->add_option("PACKAGE", *package, "The package")->required();
    command
        ->add_option("-C,--directory", *directory,
                     "Directory to write the files into (default: the current directory)")
        ->type_name("DIR");
    auto offset = add_offset_option(*command);
    command->footer(
        "The first entry is written under the base name it is stored with, later entries under\n"
        "their base names (the part after the last '\\' or '/'); a later entry with the same name\n"
        "as an earlier one replaces it, as in the launcher. File times are the entries' DOS\n"
        "times, read as UTC; the tail block is stamped into files that hold the stamp marker.\n"
        "Nothing is written when a name is empty, '.' or '..', when a path would not fit in 259\n"
        "bytes, or when a file of that name already exists in the directory. When an entry\n"
        "fails to unpack or to match its CRC-32, every file written is removed again.");
    command->callback(
        [package, directory, offset] { extract_package(*package, *directory, offset->get()); });
}
