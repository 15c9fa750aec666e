// The Win32 surface the stub calls. Windows builds get the real API from the toolchain; the native
// build gets our own POSIX implementation of the same names (platform/native/).
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "native/native_win32.h"
#endif
