// The temporary program file: the file in the temporary directory that receives the first entry
// and is then run as the setup program. Its name is "setup.exe" when that name is free, else
// "_stp" plus four letters drawn from a small generator seeded with the run's start time.
#pragma once

#include "archive/format.h"
#include "platform/win32.h"

#include <cstdint>

// State of draw_random; create_target_file seeds it with the run's start time.
extern std::uint32_t random_state;

// Advances random_state (state * 214013 + 2531011, modulo 2^32) and returns bits 16 to 30 of the
// new state: a value from 0 to 32767.
int draw_random();

// Creates temp_dir plus "setup.exe" as a new file, or, when that fails for any reason, temp_dir
// plus a generated name, up to 100 attempts in all. On success the file is open for exclusive
// writing in output_handle and its path is in target_path (path_buffer_size bytes); on failure
// output_handle is INVALID_HANDLE_VALUE. A name that would not fit target_path counts as a failed
// attempt and is not tried.
bool create_target_file(char* target_path, DWORD start_ticks);
