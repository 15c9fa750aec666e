// The Window shared by decode_blocks and decode_unary; static storage, so zero at program start.
#include "decode/window.h"

Window window;
