// The lines added under a refusal to say what would have been accepted.
#pragma once

// Under "Not or Yet support for NAME": the CPU names, and the one meant when only the case differs.
void print_cpu_names_line(const char* name);

// Under "Cannot support flash programming for your flash setting": the set-ups the model takes,
// or the model names when there is no such model.
void print_setups_line(const char* model);
