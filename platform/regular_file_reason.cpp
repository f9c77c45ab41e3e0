// SPDX-License-Identifier: Apache-2.0
#include "platform/regular_file.h"

std::string file_read_reason(FileRead result)
{
    switch (result) {
    case FileRead::folder:
        return ": a folder, not a file";
    case FileRead::not_regular:
        return ": not a regular file";
    case FileRead::too_large:
        return ": over " + std::to_string(kTextFileLimit >> 20) + " MiB";
    default:
        return {};
    }
}
