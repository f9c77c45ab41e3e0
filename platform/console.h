// SPDX-License-Identifier: Apache-2.0
// Formatted console output through the platform seam.
#pragma once

#if defined(__GNUC__)
#define TF_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TF_PRINTF_LIKE(fmt, args)
#endif

// printf-style output to the console; allocates only for a line longer than 1 KB.
void con_printf(const char* format, ...) TF_PRINTF_LIKE(1, 2);
