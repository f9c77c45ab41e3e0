// SPDX-License-Identifier: Apache-2.0
#include "jtag/tap.h"

void bitstring_reverse32(char* bits)
{
    char scratch[32];
    for (int i = 0; i < 32; ++i)
        scratch[i] = bits[31 - i];
    for (int i = 0; i < 32; ++i)
        bits[i] = scratch[i];
}
