// Naming and creating the temporary program file.
#include "launcher/target_file.h"

#include "archive/output_files.h"

std::uint32_t random_state;

namespace {

constexpr int creation_attempts = 100; // the plain name once, then 99 generated names
constexpr int generated_letters = 4;
const char plain_name[] = "setup.exe";
const char generated_prefix[] = "_stp";
const char generated_extension[] = ".exe";

// temp_dir followed by name, or false (target_path untouched) when that would not fit.
bool join_temp_path(char* target_path, const char* name) {
    if (lstrlenA(temp_dir) + lstrlenA(name) + 1 > static_cast<int>(path_buffer_size)) return false;
    lstrcpyA(target_path, temp_dir);
    lstrcatA(target_path, name);
    return true;
}

} // namespace

int draw_random() {
    random_state = random_state * 214013u + 2531011u;
    return static_cast<int>((random_state >> 16) & 0x7FFF);
}

bool create_target_file(char* target_path, DWORD start_ticks) {
    target_path[0] = '\0';
    bool fits = join_temp_path(target_path, plain_name);
    random_state = start_ticks;
    for (int attempt = 1;; ++attempt) {
        output_handle = INVALID_HANDLE_VALUE;
        if (fits) {
            // CREATE_NEW: an existing file is never opened or replaced.
            output_handle = CreateFileA(target_path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_ARCHIVE, nullptr);
            if (output_handle != INVALID_HANDLE_VALUE) return true;
        }
        if (attempt == creation_attempts) return false;

        // The letters are drawn even when the name will not fit, so that the sequence of names
        // depends on the start time alone.
        char name[sizeof generated_prefix + generated_letters + sizeof generated_extension];
        lstrcpyA(name, generated_prefix);
        char* letters = name + lstrlenA(name);
        for (int i = 0; i < generated_letters; ++i) {
            letters[i] = static_cast<char>('a' + draw_random() % 26);
        }
        letters[generated_letters] = '\0';
        lstrcatA(name, generated_extension);
        fits = join_temp_path(target_path, name);
    }
}
