// SPDX-License-Identifier: Apache-2.0
// OpenOCD's remote_bitbang client: one character per TCK edge ('0'-'7': TCK, TMS, TDI), 'R'
// to read TDO between the falling and the rising edge, 'r'-'u' for the reset lines, 'Q' at the
// end. Characters are sent in large writes and the 'R' answers read at flush(), in order.
// The host makes every edge, so the server's speed is the cable's: it is for reach, not speed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jtag/net_cable.h"

class BitbangCable : public NetCable {
public:
    BitbangCable(ByteStream& link, std::string server);
    // Sends 'Q' (and lets go of SRST) after what is still queued.
    ~BitbangCable() override;

    // Starts the session: with `srst_hold` SRST is asserted until the end ('s'), with
    // `srst_release` it is let go at once ('r'); with neither, no reset character is sent. nullptr, or
    // the one-line reason (also kept as fault()).
    const char* open(bool srst_hold, bool srst_release);
    // 'Q' after what is queued; nothing more is sent after it.
    void close();

    void park() override { flush(); }
    void flush() override;

private:
    void clock(int tms, int tdi, char* dest) override;
    void send_queued();

    bool open_ = false;
    bool srst_held_ = false;
    std::vector<uint8_t> out_;
    std::vector<char*> reads_;  // where each 'R' not yet answered goes
};

// The request character for TCK, TMS and TDI levels ('0' + TCK*4 + TMS*2 + TDI).
constexpr char bitbang_pins(int tck, int tms, int tdi) { return static_cast<char>('0' + tck * 4 + tms * 2 + tdi); }
