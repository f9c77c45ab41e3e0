// The lines added under a refusal to say what would have been accepted.
#pragma once

#include <string>

// The names -C and -F take, comma-separated, from the CPU table and the flash descriptors.
std::string cpu_names_text();
std::string model_names_text();

// Under "Not or Yet support for NAME": the CPU names, and the one meant when only the case differs.
void print_cpu_names_line(const char* name);

// Under "Cannot support flash programming for your flash setting": the set-ups the model takes,
// or the model names when there is no such model.
void print_setups_line(const char* model);

// Under a JTAG ID that does not match a BSDL file's: the pattern the file gives (X: either bit).
void print_expected_idcode(const char* idcode, const char* bsdl_path);
