// SPDX-License-Identifier: Apache-2.0
// The Xilinx Virtual Cable client (XVC 1.0): clocks go out as "shift:" commands of TMS and TDI
// vectors, each answered by its TDO vector. Clocks gather into commands up to the server's
// largest vector; commands are sent in batches and their answers read at flush(), in order, so a
// run waits for the network once per batch. TDO is kept only where a shift asked for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jtag/net_cable.h"

class XvcCable : public NetCable {
public:
    XvcCable(ByteStream& link, std::string server);

    // "getinfo:" (a server that does not answer xvcServer_v1.0:N is refused), then "settck:" for
    // `tck_hz`. nullptr, or the one-line reason (also kept as fault()).
    const char* open(uint32_t tck_hz);
    // The largest vector the server takes, in bytes, and the TCK period it set.
    uint32_t max_vector_bytes() const { return max_vector_; }
    uint32_t period_ns() const { return period_ns_; }
    uint32_t tck_hz() const override { return period_ns_ == 0 ? 0 : 1'000'000'000u / period_ns_; }

    void park() override { flush(); }
    void flush() override;

private:
    // Answer bits [answer_bit, answer_bit + count) go to dest[0..count).
    struct Placement {
        uint64_t answer_bit;
        uint32_t count;
        char* dest;
    };

    void clock(int tms, int tdi, char* dest) override;
    void end_command();
    void send_queued();

    uint32_t max_vector_ = 0;
    uint32_t max_bits_ = 0;  // clocks in one command: both vectors within the server's maximum
    uint32_t period_ns_ = 0;

    std::vector<uint8_t> out_;  // whole commands not yet sent
    std::vector<uint8_t> tms_;  // the command being gathered
    std::vector<uint8_t> tdi_bits_;
    uint32_t bits_ = 0;         // its clocks so far
    uint64_t answers_due_ = 0;  // answer bytes of the commands closed since the last read
    std::vector<Placement> placements_;
};

// An XVC server's answer to "getinfo:": its largest vector in bytes, or 0 when it is not
// "xvcServer_v1.0:N" (N from 1).
uint32_t xvc_parse_info(const std::string& line);
