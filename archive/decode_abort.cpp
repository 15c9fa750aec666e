#include "archive/decode_abort.h"

std::jmp_buf decode_abort_point;

void raise_decode_abort() {
    std::longjmp(decode_abort_point, 1);
}
