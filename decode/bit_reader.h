// Bit input for both decoders (to be completed: the BitReader, bit_window, skip_bits).
#pragma once

// Clears the bit input and primes bit_window with the first two packed bytes.
void reset_bits();
