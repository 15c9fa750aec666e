// The program's own path, the temporary directory and the child process of the memory platform:
// fixed paths that a harness can set, and a child that is recorded instead of run.
#include "platform/memory/memory_platform.h"

#include <cstring>

char memory_started_application[memory_path_size];
char memory_started_directory[memory_path_size];
int memory_processes_started;

namespace {
char module_path[memory_path_size] = "/mem/package.exe";
char temp_path[memory_path_size] = "/mem/tmp/";
BOOL process_result = TRUE;

void copy_path(char* destination, const char* source) {
    std::size_t length = std::strlen(source);
    if (length >= static_cast<std::size_t>(memory_path_size)) length = memory_path_size - 1;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}
} // namespace

void memory_set_module_path(const char* path) {
    copy_path(module_path, path);
}

void memory_set_temp_path(const char* path) {
    copy_path(temp_path, path);
}

void memory_set_process_result(BOOL result) {
    process_result = result;
}

// Like the real call, a path too long for the buffer is cut and NUL-terminated.
DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    DWORD length = static_cast<DWORD>(std::strlen(module_path));
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, module_path, length);
    buffer[length] = '\0';
    return length;
}

// Like the real call, a buffer too small for the path gets nothing and the result is the size
// it would need.
DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    const DWORD length = static_cast<DWORD>(std::strlen(temp_path));
    if (length + 1 > size) return length + 1;
    std::memcpy(buffer, temp_path, length + 1);
    return length;
}

BOOL CreateProcessA(LPCSTR application, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID, LPCSTR current_directory, LPSTARTUPINFOA,
                    LPPROCESS_INFORMATION process_information) {
    if (!application || !memory_find_file(application) || !process_result) return FALSE;
    copy_path(memory_started_application, application);
    copy_path(memory_started_directory, current_directory ? current_directory : "");
    ++memory_processes_started;
    process_information->hProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x5000));
    process_information->hThread = nullptr;
    process_information->dwProcessId = 1;
    process_information->dwThreadId = 0;
    return TRUE;
}

// The recorded child has always ended already.
DWORD WaitForSingleObject(HANDLE, DWORD) {
    return 0;
}
