// File handles of the native build are file descriptors carried in a HANDLE.
#pragma once

#include "native_win32.h"

inline HANDLE handle_from_fd(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

inline int fd_from_handle(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}
