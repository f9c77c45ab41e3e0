// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_progress.h"

#include "platform/console.h"

void WriteProgress::update(uint32_t done, uint32_t total)
{
    con_printf("%s: %8d / %d [Byte]\r", label_, static_cast<int>(done), static_cast<int>(total));
}

void WriteProgress::finish(uint32_t done, uint32_t total)
{
    con_printf("%s: %8d / %d [Byte]\n", label_, static_cast<int>(done), static_cast<int>(total));
}
