// The program's own path, the temporary directory and the child process.
#include "handles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    const ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

// $TMPDIR (or /tmp) with one trailing '/'. Like the real call, a buffer too small for the path
// gets nothing and the result is the size it would need.
DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    const char* directory = std::getenv("TMPDIR");
    if (!directory || !*directory) directory = "/tmp";
    std::size_t length = std::strlen(directory);
    while (length > 1 && directory[length - 1] == '/') --length;
    const bool add_separator = directory[length - 1] != '/';
    const std::size_t needed = length + (add_separator ? 1 : 0);
    if (needed + 1 > size) return static_cast<DWORD>(needed + 1);
    std::memcpy(buffer, directory, length);
    if (add_separator) buffer[length] = '/';
    buffer[needed] = '\0';
    return static_cast<DWORD>(needed);
}

// The child gets the application path as its only argument word, the launcher's environment and
// the given current directory. Process handles carry the pid.
BOOL CreateProcessA(LPCSTR application, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID, LPCSTR current_directory, LPSTARTUPINFOA,
                    LPPROCESS_INFORMATION process_information) {
    if (!application) return FALSE;
    if (chmod(application, 0700) != 0) return FALSE;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return FALSE;
    if (current_directory && *current_directory) {
        posix_spawn_file_actions_addchdir_np(&actions, current_directory);
    }
    char* arguments[] = {const_cast<char*>(application), nullptr};
    pid_t child = 0;
    const int failed = posix_spawn(&child, application, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    // glibc reports a file that cannot be executed here, as Windows would refuse to start it.
    if (failed != 0) return FALSE;
    process_information->hProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(child));
    process_information->hThread = nullptr;
    process_information->dwProcessId = static_cast<DWORD>(child);
    process_information->dwThreadId = 0;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD) {
    const auto child = static_cast<pid_t>(reinterpret_cast<std::intptr_t>(handle));
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
