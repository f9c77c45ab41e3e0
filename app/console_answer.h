// SPDX-License-Identifier: Apache-2.0
// Answers to the menu and prompts, read key by key from the console.
#pragma once

// Fills `answer` (room for 4 characters) with up to `max_length` digits, ended by
// Enter or by 'q'/'Q' (stored). Ends the process with status 1 if input has ended.
void read_answer(char* answer, int max_length);
