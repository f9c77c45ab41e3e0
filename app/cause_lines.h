// SPDX-License-Identifier: Apache-2.0
// The lines added under a refusal to say what would have been accepted.
#pragma once

#include <cstdint>
#include <string>

// The names -C and -F take, comma-separated, from the CPU table and the flash descriptors.
std::string cpu_names_text();
std::string model_names_text();

// Under "Not or Yet support for NAME": the CPU names, and the one meant when only the case differs.
void print_cpu_names_line(const char* name);

// Under "Cannot support flash programming for your flash setting": a width or chip count that
// no model takes, else the set-ups the model takes, or the model names when there is no such model.
void print_setups_line(const char* model, int32_t bus_width, int32_t interleave);

// Under a refused value of option -`option`: the value (nullptr when none was given) and what
// the option takes.
void print_option_value_line(char option, const char* value);

// Under a refusal of `option` followed by `value`, a separate value that begins with '/' or '-'
// and so was read as an option: how to pass it.
void print_attach_line(const char* option, const char* value);

// Under a JTAG ID that does not match a BSDL file's: the pattern the file gives (X: either bit).
void print_expected_idcode(const char* idcode, const char* bsdl_path);
