// SPDX-License-Identifier: Apache-2.0
// Shared by the two halves of the BSDL reader: the statements of the file, and the contents of
// the attribute strings that describe the instructions and the cells.
#pragma once

#include <string>
#include <vector>

#include "targets/bsdl_device.h"
#include "targets/bsdl_tokens.h"

struct BsdlPort {
    std::string name;  // as written
    bool vector = false;
    int first = 0;  // as declared: (0 to 31) or (31 downto 0)
    int last = 0;
    bool linkage = false;
};

// What the statements gave, before the strings are read.
struct BsdlStatements {
    std::vector<BsdlPort> ports;
    Token opcodes;   // INSTRUCTION_OPCODE
    Token capture;   // INSTRUCTION_CAPTURE
    Token idcode;    // IDCODE_REGISTER
    Token boundary;  // BOUNDARY_REGISTER
    int end_line = 0;
};

struct BsdlErrorSink {
    const std::string& file;
    std::string& error;
    bool fail(int line, const std::string& what) const
    {
        error = file + ":" + std::to_string(line) + ": " + what;
        return false;
    }
};

// The instructions, the IDCODE and the cells from the attribute strings, checked against each
// other and against the port list.
bool bsdl_read_strings(const BsdlStatements& s, const BsdlErrorSink& sink, BsdlDevice& device);
