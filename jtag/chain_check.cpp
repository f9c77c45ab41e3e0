// SPDX-License-Identifier: Apache-2.0
#include "jtag/chain_check.h"

#include <cstring>

#include "jtag/tap_walker.h"

uint32_t bitstring_value(const char* bits)
{
    uint32_t value = 0;
    for (int i = 0; i < 32 && bits[i] != '\0'; ++i)
        value = (value << 1) | (bits[i] == '1' ? 1u : 0u);
    return value;
}

Outcome chain_check_idcode(JtagChain& chain, Host& host, const char* idcode_instruction, const char* idcode,
                           uint32_t length)
{
    char id[33];
    std::memcpy(id, kChainTestPattern, sizeof id);  // also the terminator the capture leaves alone
    chain.scan_ir(length, idcode_instruction);
    chain.scan_dr_capture(id, id, 32);
    // The register shifts out bit 0 first; the table and the report are MSB first.
    bitstring_reverse32(id);
    bool matched = true;
    for (int i = 0; i < 32; ++i)
        matched = matched && (idcode[i] == 'X' || idcode[i] == id[i]);
    const Outcome outcome{.status = matched ? Status::ok : Status::mismatch,
                          .expected = bitstring_value(idcode),
                          .actual = bitstring_value(id)};
    host.report({.kind = matched ? EventKind::idcode_matched : EventKind::idcode_mismatched,
                 .expected = outcome.expected,
                 .actual = outcome.actual});
    return outcome;
}
