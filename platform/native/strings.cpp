// ANSI string helpers.
#include "native_win32.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

LPSTR lstrcpyA(LPSTR destination, LPCSTR source) {
    return std::strcpy(destination, source);
}

LPSTR lstrcatA(LPSTR destination, LPCSTR source) {
    return std::strcat(destination, source);
}

int lstrlenA(LPCSTR string) {
    return string ? static_cast<int>(std::strlen(string)) : 0;
}

// Like the real one, writes at most 1024 bytes including the terminating NUL.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(buffer, 1024, format, arguments);
    va_end(arguments);
    return written < 0 ? 0 : (written > 1023 ? 1023 : written);
}
