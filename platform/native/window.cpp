// The progress window where no GUI exists: an inert handle that keeps its icons and draws nothing.
// SFXSTUB_NO_WINDOW=1 makes its creation fail, as it can on Windows, so that the run without a
// window can be exercised. Shared by the native and the memory platform.
#include "native_win32.h"

#include <cstdlib>
#include <cstring>

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
    switch (index) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}

HANDLE LoadImageA(HINSTANCE, LPCSTR, UINT type, int width, int height, UINT) {
    if (type != IMAGE_ICON) return nullptr;
    NativeIcon& icon = icons[width <= 16 ? 0 : 1];
    icon.width = width;
    icon.height = height;
    return &icon;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR, HWND, DLGPROC procedure, LPARAM init) {
    const char* no_window = std::getenv("SFXSTUB_NO_WINDOW");
    if (no_window && std::strcmp(no_window, "1") == 0) return nullptr;
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

// Nothing is drawn natively: the window is painted as soon as it exists.
BOOL UpdateWindow(HWND window) {
    return window ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    return window ? TRUE : FALSE;
}
