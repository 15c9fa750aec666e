// Files on top of open/read/write. Only the dispositions and access modes the stub uses exist.
#include "handles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
    int flags = O_CLOEXEC | O_NOFOLLOW;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE)) {
        flags |= O_RDWR;
    } else if (access & GENERIC_WRITE) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    switch (disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    default:
        return INVALID_HANDLE_VALUE;
    }
    int fd;
    do {
        fd = open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    // Windows cannot open a directory as a file; neither can we.
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return handle_from_fd(fd);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    struct stat info;
    if (fstat(fd_from_handle(file), &info) != 0) return INVALID_FILE_SIZE;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
    if (method != FILE_BEGIN) return INVALID_SET_FILE_POINTER;
    std::uint64_t position = static_cast<DWORD>(distance);
    if (distance_high)
        position |= static_cast<std::uint64_t>(static_cast<DWORD>(*distance_high)) << 32;
    const off_t result = lseek(fd_from_handle(file), static_cast<off_t>(position), SEEK_SET);
    if (result < 0) return INVALID_SET_FILE_POINTER;
    if (distance_high) *distance_high = static_cast<LONG>(static_cast<std::uint64_t>(result) >> 32);
    return static_cast<DWORD>(result);
}

// Like Windows, a read or write of a regular file transfers everything unless an error or the
// end of the file stops it; the count says how much was moved.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read_count, void*) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    DWORD done = 0;
    while (done < count) {
        const ssize_t got = read(fd_from_handle(file), bytes + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (read_count) *read_count = done;
            return FALSE;
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (read_count) *read_count = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, void*) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    DWORD done = 0;
    while (done < count) {
        const ssize_t put = write(fd_from_handle(file), bytes + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    return close(fd_from_handle(handle)) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileA(LPCSTR path) {
    struct stat info;
    if (lstat(path, &info) != 0 || S_ISDIR(info.st_mode)) return FALSE;
    return unlink(path) == 0 ? TRUE : FALSE;
}

// The creation time has no POSIX counterpart and is ignored.
BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* access, const FILETIME* write) {
    constexpr std::uint64_t ticks_per_second = 10000000;
    constexpr std::uint64_t unix_epoch_ticks = 116444736000000000ull; // 1970-01-01 since 1601-01-01
    struct timespec times[2];
    const FILETIME* sources[2] = {access, write};
    for (int i = 0; i < 2; ++i) {
        if (!sources[i]) {
            times[i].tv_sec = 0;
            times[i].tv_nsec = UTIME_OMIT;
            continue;
        }
        const std::uint64_t ticks = (static_cast<std::uint64_t>(sources[i]->dwHighDateTime) << 32) |
                                    sources[i]->dwLowDateTime;
        if (ticks < unix_epoch_ticks) return FALSE;
        const std::uint64_t since_epoch = ticks - unix_epoch_ticks;
        times[i].tv_sec = static_cast<time_t>(since_epoch / ticks_per_second);
        times[i].tv_nsec = static_cast<long>(since_epoch % ticks_per_second * 100);
    }
    return futimens(fd_from_handle(file), times) == 0 ? TRUE : FALSE;
}
