// The launcher run: one straight pass on one thread. Show the progress window, create the
// temporary program file, load and unpack the payload, report a failure with one message box,
// run the first unpacked file in the temporary directory and wait for it, then delete every file
// the run made. No message loop runs; the exit code is 0 on every path.
#include "launcher/win_main.h"

#include "archive/extract_entries.h"
#include "archive/format.h"
#include "archive/output_files.h"
#include "launcher/progress_window.h"
#include "launcher/target_file.h"
#include "payload/load_payload.h"
#include "payload/payload_offset.h"

#include <cstdint>
#include <cstdlib>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "the 32-bit STARTUPINFOA is 68 bytes");
#endif

namespace {

constexpr DWORD minimum_window_ms = 2000; // the window stays up this long after the start
constexpr UINT error_box_style = MB_ICONERROR;
constexpr int message_buffer_size = 1024;

const char creation_failed_text[] = "Unable to create a temporary file.";
const char unpack_failed_format[] =
    "Unable to unpack files. The file\n%s\nmay be damaged. Try to download again.";

// The icons of IDI_SETUP at the size the platform asks for; a failure yields no icon.
HICON load_icon(HINSTANCE instance, int width_metric, int height_metric) {
    const int width = GetSystemMetrics(width_metric);
    const int height = GetSystemMetrics(height_metric);
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_SETUP), IMAGE_ICON, width,
                                         height, LR_DEFAULTCOLOR));
}

// The directory the child runs in: temp_dir without its trailing separator, shortened in place.
// A root directory ("\", "/", "C:\") keeps its separator, since without it the path would name
// the drive's current directory or nothing at all. An empty temp_dir (the look-up failed) gives
// no directory: the files were then made relative to the current directory, and the child
// inherits it.
const char* child_directory() {
    const int length = lstrlenA(temp_dir);
    if (length == 0) return nullptr;
    const bool root = length == 1 || (length == 3 && temp_dir[1] == ':');
    if (!root) temp_dir[length - 1] = '\0';
    return temp_dir;
}

// Starts the temporary program file with no arguments, no inherited handles and the launcher's
// environment, and waits until it has ended. A child that cannot be started is not reported.
void run_child(const char* target_path) {
    // All zero but the size, so dwFlags is 0 and the child chooses its own window state. The
    // size is the structure's own: 68 bytes in the 32-bit stub, more where pointers are wider.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(target_path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, child_directory(),
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    char own_path[path_buffer_size];
    GetModuleFileNameA(instance, own_path, path_buffer_size);
    own_path[path_buffer_size - 1] = '\0'; // a truncated path is not always terminated
    const std::uint32_t offset = *payload_offset_field();

    HICON small_icon = load_icon(instance, SM_CXSMICON, SM_CYSMICON);
    HICON big_icon = load_icon(instance, SM_CXICON, SM_CYICON);
    const DWORD start_ticks = GetTickCount();
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                     progress_dialog_proc, 0);
    // Nothing retrieves messages for the window, so no WM_PAINT would ever reach it: it is
    // painted once, directly, after it has its icons; without that only its frame would show.
    if (window) {
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon));
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
        UpdateWindow(window);
    }

    // A path that does not fit the buffer leaves it without a usable value: treat it as a
    // failed look-up.
    const DWORD temp_length = GetTempPathA(path_buffer_size, temp_dir);
    if (temp_length == 0 || temp_length >= path_buffer_size) temp_dir[0] = '\0';

    char target_path[path_buffer_size];
    if (!create_target_file(target_path, start_ticks)) {
        if (window) DestroyWindow(window);
        MessageBoxA(nullptr, creation_failed_text, nullptr, error_box_style);
        return 0;
    }

    std::uint32_t payload_length = 0;
    unsigned char* image = load_payload(own_path, offset, &payload_length);
    const bool unpacked_ok = image && extract_entries(image, payload_length) != 0;
    if (!unpacked_ok) {
        if (window) DestroyWindow(window);
        window = nullptr;
        char message[message_buffer_size];
        wsprintfA(message, unpack_failed_format, own_path);
        MessageBoxA(nullptr, message, nullptr, error_box_style);
    }

    std::free(image);
    if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;

    if (window) {
        const DWORD elapsed = GetTickCount() - start_ticks; // modulo 2^32: a wrap does no harm
        if (elapsed < minimum_window_ms) Sleep(minimum_window_ms - elapsed);
        DestroyWindow(window);
    }

    if (unpacked_ok) run_child(target_path);

    DeleteFileA(target_path);
    delete_created_files();
    return 0;
}
