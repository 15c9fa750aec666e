// The message box of the native build: one line on standard error.
#include "native_win32.h"

#include <cstdio>

// The text goes out as one line, its line breaks turned into spaces, in a single write so that
// it cannot interleave with other output. Returns IDOK, as the dismissed box would.
int MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    char line[2048];
    std::size_t length = 0;
    for (const char* c = text ? text : ""; *c && length < sizeof line - 1; ++c) {
        line[length++] = (*c == '\n' || *c == '\r') ? ' ' : *c;
    }
    line[length++] = '\n';
    std::fwrite(line, 1, length, stderr);
    std::fflush(stderr);
    return 1;
}
