// The launcher's entry point. On Windows the C runtime's start-up code calls it (the declaration
// comes from <windows.h>); the native build calls it from main (native_main.cpp).
#pragma once

#include "platform/win32.h"

#if !defined(_WIN32)
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                   int show_command);
#endif
