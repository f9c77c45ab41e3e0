// SPDX-License-Identifier: Apache-2.0
#include "sim/bitbang_server.h"

#include <cstdio>

namespace sim {

void BitbangServer::set_resets(bool trst, bool srst)
{
    if (trst) {
        stats_.ntrst_pulses += trst_ ? 0 : 1;
        chain_.trst();
    }
    if (srst && !srst_) {
        ++stats_.nsrst_pulses;
        srst_scans_at_ = stats_.dr_scans;
    } else if (!srst && srst_) {
        stats_.nsrst_dr_scans += stats_.dr_scans - srst_scans_at_;
    }
    trst_ = trst;
    srst_ = srst;
}

Feed BitbangServer::feed(const uint8_t* data, size_t length, std::string& answers)
{
    for (size_t k = 0; k < length; ++k) {
        const uint8_t c = data[k];
        clock_.advance(request_ns_);
        if (c >= '0' && c <= '7') {
            const int pins = c - '0';
            const bool tck = pins & 4;
            if (tck && !tck_) {
                if (trst_)
                    chain_.trst();  // held in Test-Logic-Reset whatever TMS says
                else
                    chain_.tck_rising(static_cast<uint8_t>((pins >> 1) & 1), static_cast<uint8_t>(pins & 1));
            } else if (!tck && tck_) {
                chain_.tck_falling();
            }
            tck_ = tck;
        } else if (c == 'R') {
            answers.push_back(chain_.tdo() ? '1' : '0');
        } else if (c >= 'r' && c <= 'u') {
            set_resets((c - 'r') & 2, (c - 'r') & 1);
        } else if (c == 'B' || c == 'b') {
            // The LED: nothing on this board shows it.
        } else if (c == 'Q') {
            return Feed::quit;
        } else {
            char text[40];
            if (c > 0x20 && c < 0x7F)
                std::snprintf(text, sizeof text, "unknown request '%c'", c);
            else
                std::snprintf(text, sizeof text, "unknown request 0x%02X", c);
            why_ = text;
            return Feed::malformed;
        }
    }
    return Feed::more;
}

}  // namespace sim
