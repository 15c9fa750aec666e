// The Win32 surface with its files kept in memory, for the fuzz target: the same calls and the
// same semantics as the native (POSIX) build, without touching the disk, plus what a test harness
// needs to look inside and to make calls fail on purpose.
//
// Files live in a fixed table, keyed by their normalised path; only '/' separates components, as
// natively. A path opens as a file only when every component before its last names a directory
// added with memory_add_directory and the last one is a plain name: a path that names a
// directory ("dir/", "dir/.", "dir/..") cannot be opened, as natively. CREATE_NEW fails on an
// existing file, CREATE_ALWAYS empties and reuses it, OPEN_EXISTING needs it. A deleted file
// that is still open keeps its bytes until its last handle is closed, as an unlinked inode does.
//
// Calls the native build would carry out but real Windows refuses (opening a file that another
// handle holds without sharing, deleting an open file) and calls on handles that are not open are
// counted in memory_stats, so that a harness can insist on none.
#pragma once

#include "platform/win32.h"

#include <cstdint>

constexpr int memory_file_limit = 64;
constexpr int memory_handle_limit = 16;
constexpr int memory_directory_limit = 8;
constexpr int memory_path_size = 4096; // what a native path may hold, its NUL included
constexpr int memory_name_limit = 255; // the longest component a native file system takes
constexpr int memory_log_limit = 256;

struct MemoryFile {
    bool used;
    bool linked; // false once deleted while a handle still held it
    char path[memory_path_size];
    unsigned char* bytes;
    std::uint32_t size;
    std::uint32_t capacity;
    int open_handles;
    bool times_set;
    FILETIME creation_time;
    FILETIME access_time;
    FILETIME write_time;
};

// What happened since the last memory_reset.
struct MemoryStats {
    int creates;            // files made by CreateFileA (CREATE_NEW or CREATE_ALWAYS on no file)
    int opens;              // successful CreateFileA calls of any kind
    int writes;             // WriteFile calls on open handles
    int open_conflicts;     // a file opened while another handle held it
    int deletes_while_open; // DeleteFileA on a file that a handle still held
    int bad_handle_calls; // file calls on a handle that is not open, INVALID_HANDLE_VALUE included
    int fallible_calls;   // CreateFileA, GetFileSize, SetFilePointer, ReadFile, WriteFile
    bool fault_hit;       // the planned fault (memory_plan_fault) was injected
};

// One successful CreateFileA, in call order.
struct MemoryOpenRecord {
    char requested[memory_path_size]; // the path as passed
    int file;                         // index into memory_files
    DWORD disposition;
};

// One WriteFile call on an open handle, in call order.
struct MemoryWriteRecord {
    int file;
    std::uint32_t position; // where the write began
    DWORD requested;
    DWORD written;
};

extern MemoryFile memory_files[memory_file_limit];
extern MemoryStats memory_stats;
extern MemoryOpenRecord memory_open_log[memory_log_limit];
extern MemoryWriteRecord memory_write_log[memory_log_limit];
extern int memory_open_log_count;  // entries filled, at most memory_log_limit
extern int memory_write_log_count; // entries filled, at most memory_log_limit

// Closes every handle, frees every file and forgets directories, logs, statistics, the planned
// fault, the process calls and the message boxes; the clock keeps its time. "/" is always a
// directory.
void memory_reset();

// Adds a directory (an absolute path, no trailing '/'); false when the table is full.
bool memory_add_directory(const char* path);

// Makes or replaces a file with the given bytes; false when it cannot be made.
bool memory_put_file(const char* path, const unsigned char* bytes, std::uint32_t size);

// The linked file at path (any spelling that normalises to it), or null.
const MemoryFile* memory_find_file(const char* path);

// Normalises path into out (memory_path_size bytes): false when it names no file that could be
// opened (a missing directory, a directory itself, a name too long).
bool memory_normalise_path(const char* path, char* out);

// Number of handles open now; the file index behind an open handle, or -1.
int memory_open_handle_count();
int memory_handle_file(HANDLE handle);

// Makes the fallible file call numbered call (counting from 1 from now on) fail: it returns its
// failure value; with short_transfer a ReadFile or WriteFile instead moves one byte less than it
// would have and reports success with that count (or fails when it would have moved nothing).
enum MemoryFaultMode { memory_fault_fail, memory_fault_short_transfer };
void memory_plan_fault(int call, MemoryFaultMode mode);

// What GetModuleFileNameA and GetTempPathA report (defaults "/mem/package.exe" and "/mem/tmp/"),
// and the result CreateProcessA gives for a file that exists (default TRUE; it never runs
// anything, and records the application path and current directory it was given).
void memory_set_module_path(const char* path);
void memory_set_temp_path(const char* path);
void memory_set_process_result(BOOL result);
extern char memory_started_application[memory_path_size];
extern char memory_started_directory[memory_path_size];
extern int memory_processes_started;

// The clock: GetTickCount reads memory_ticks, and Sleep advances it instead of waiting.
extern DWORD memory_ticks;
extern DWORD memory_slept; // milliseconds Sleep was asked for since the last reset

// The last text MessageBoxA was given, and how many boxes were shown.
extern char memory_message_text[1024];
extern int memory_messages_shown;
