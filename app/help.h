// What `--help` and `--version` print: answered before any port is probed.
#pragma once

void print_help();
void print_version();
