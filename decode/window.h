// The Window: the 26624-byte ring (positions 0 to 26623) in which both decoders build their output
// and find their match sources. A decode writes from position 0 on; each time the position reaches
// 26624 it hands all 26624 bytes to sink_write and goes on at 0, and at its end it hands over the
// filled part. The ring is never cleared: zero bytes at program start, afterwards whatever the
// previous decode left, which a match reaching back before its entry's first byte then copies.
#pragma once

#include "archive/format.h"

using Window = unsigned char[window_size];

extern Window window;
