// The progress window's dialog procedure. It keeps no state and does nothing else.
#include "launcher/progress_window.h"

INT_PTR CALLBACK progress_dialog_proc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}
