// Shared pieces of the boundary-scan bus cycles.
#pragma once

// Process-wide capture of the last bus_read: character i = level captured at cell i.
extern char g_capture[];

// Sets the selected nCS cell to `level` ('0' selects the flash) and shifts the image.
void bsr_set_chip_enable(char* image, char level);
