// The user interface of the memory platform: the progress window is an inert handle and a message
// box is remembered instead of shown.
#include "platform/memory/memory_platform.h"

#include <cstring>

char memory_message_text[1024];
int memory_messages_shown;

struct NativeWindow {
    HICON big_icon;
    HICON small_icon;
};

struct NativeIcon {
    int width;
    int height;
};

namespace {
NativeWindow progress_window;
NativeIcon icons[2];
} // namespace

int GetSystemMetrics(int index) {
    return (index == SM_CXICON || index == SM_CYICON) ? 32 : 16;
}

HANDLE LoadImageA(HINSTANCE, LPCSTR, UINT type, int width, int height, UINT) {
    if (type != IMAGE_ICON) return nullptr;
    NativeIcon& icon = icons[width <= 16 ? 0 : 1];
    icon.width = width;
    icon.height = height;
    return &icon;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR, HWND, DLGPROC procedure, LPARAM init) {
    progress_window = NativeWindow{nullptr, nullptr};
    if (procedure) procedure(&progress_window, WM_INITDIALOG, 0, init);
    return &progress_window;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!window || message != WM_SETICON) return 0;
    HICON* slot = wparam == ICON_BIG ? &window->big_icon : &window->small_icon;
    HICON previous = *slot;
    *slot = reinterpret_cast<HICON>(lparam);
    return reinterpret_cast<LRESULT>(previous);
}

BOOL UpdateWindow(HWND window) {
    return window ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    return window ? TRUE : FALSE;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    const char* source = text ? text : "";
    std::size_t length = std::strlen(source);
    if (length >= sizeof memory_message_text) length = sizeof memory_message_text - 1;
    std::memcpy(memory_message_text, source, length);
    memory_message_text[length] = '\0';
    ++memory_messages_shown;
    return 1;
}
