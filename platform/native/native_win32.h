// Native (POSIX) stand-ins for the Win32 types, constants and calls the stub uses. Only what the
// stub relies on is provided, with the behaviour it relies on:
//   files      open/read/write; CREATE_NEW fails on an existing file, CREATE_ALWAYS replaces one,
//              nothing follows a symbolic link at the final path component
//   times      DosDateTimeToFileTime validates like Windows; SetFileTime sets access and write
//   times processes  CreateProcessA makes the file executable and posix_spawns it in the given
//   directory interface  MessageBoxA writes its text as one line on standard error; the progress
//   window is an
//              inert handle (SFXSTUB_NO_WINDOW=1 makes its creation fail)
#pragma once

#include <cstdint>

using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using UINT = unsigned int;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using PLONG = LONG*;
using HANDLE = void*;

struct NativeWindow;
struct NativeModule;
struct NativeIcon;
using HWND = NativeWindow*;
using HINSTANCE = NativeModule*;
using HMODULE = NativeModule*;
using HICON = NativeIcon*;

#define WINAPI
#define CALLBACK
#define APIENTRY

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu

// CreateFileA
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u

// SetFilePointer
#define FILE_BEGIN 0u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

// Windows and messages
#define WM_INITDIALOG 0x0110u
#define WM_SETICON 0x0080u
#define ICON_SMALL 0
#define ICON_BIG 1
#define IMAGE_ICON 1u
#define LR_DEFAULTCOLOR 0u
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define MB_ICONERROR 0x00000010u
#define MAKEINTRESOURCEA(i)                                                                        \
    (reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(i))))

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// Files (files.cpp)
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
DWORD GetFileSize(HANDLE file, LPDWORD high);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, void* overlapped);
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileA(LPCSTR path);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write);

// Times (times.cpp)
BOOL DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME file_time);
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// Strings (strings.cpp)
LPSTR lstrcpyA(LPSTR destination, LPCSTR source);
LPSTR lstrcatA(LPSTR destination, LPCSTR source);
int lstrlenA(LPCSTR string);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

// The process and its surroundings (process.cpp)
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
BOOL CreateProcessA(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                    LPSECURITY_ATTRIBUTES thread_security, BOOL inherit_handles, DWORD flags,
                    LPVOID environment, LPCSTR current_directory, LPSTARTUPINFOA startup_info,
                    LPPROCESS_INFORMATION process_information);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// User interface (window.cpp, message_box.cpp)
int GetSystemMetrics(int index);
HANDLE LoadImageA(HINSTANCE module, LPCSTR name, UINT type, int width, int height, UINT flags);
HWND CreateDialogParamA(HINSTANCE module, LPCSTR template_name, HWND owner, DLGPROC procedure,
                        LPARAM init);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL UpdateWindow(HWND window);
BOOL DestroyWindow(HWND window);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
