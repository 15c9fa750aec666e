// DecodeAbort: the abandonment of the stored copy or decode in progress. There is one catch point;
// the stored copy and each decoder arm it at their start with
//
//     if (setjmp(decode_abort_point) != 0) return;
//
// and raise_decode_abort() returns there. The frames in between are plain functions without
// destructors, so the jump skips nothing that needs cleaning up.
#pragma once

#include <csetjmp>

extern std::jmp_buf decode_abort_point;

[[noreturn]] void raise_decode_abort();
