// The clock of the memory platform: a tick count that only Sleep moves, so that a run which
// waits (the launcher's two-second rule) takes no time at all.
#include "platform/memory/memory_platform.h"

DWORD memory_ticks = 0xFFFFF000u; // near the wrap, which the launcher must survive
DWORD memory_slept;

DWORD GetTickCount() {
    return memory_ticks;
}

void Sleep(DWORD milliseconds) {
    memory_ticks += milliseconds;
    memory_slept += milliseconds;
}
