// SPDX-License-Identifier: Apache-2.0
// An FTDI adapter as OpenOCD's interface files describe it (interface/ftdi/NAME.cfg), read from
// their Tcl subset in the old syntax (ftdi_vid_pid, adapter_khz) and the new (ftdi vid_pid,
// adapter speed). Pure: the text comes in, the file lookup of `source [find ...]` goes through
// the caller's function, and nothing touches USB.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_transport.h"

// `ftdi layout_signal NAME ...`: the masks as given (16 bits: ADBUS low byte, ACBUS high).
struct AdapterSignal {
    std::string name{};
    uint16_t data = 0;  // -data or -ndata
    bool data_inverted = false;
    uint16_t oe = 0;  // -oe or -noe
    bool oe_inverted = false;
    uint16_t input = 0;  // -input or -ninput
    bool input_inverted = false;
    std::string alias{};  // -alias or -nalias OTHER
    bool alias_inverted = false;
};

struct AdapterConfig {
    std::string file;  // the file the description came from, for messages
    std::vector<UsbId> ids;
    int channel = 0;
    std::string device_desc;
    std::string serial;
    bool layout_given = false;
    uint16_t layout_value = 0;
    uint16_t layout_direction = 0;
    std::vector<AdapterSignal> signals;
    uint32_t speed_khz = 0;  // 0: not set

    const AdapterSignal* signal(std::string_view name) const;
};

// Finds `name` (as written in `[find name]`) and gives its path and text; false when absent.
using ConfigFinder = std::function<bool(const std::string& name, std::string& path, std::string& text)>;

// Reads `text` (from the file `path`) into `config`. False with "PATH:LINE: reason" in `error`
// for what the tool cannot take: a driver other than ftdi, SWD only, TDO sampled on the falling
// edge, a signal it cannot honour, a channel without MPSSE, a command it does not know, a Tcl
// syntax error. A missing vid:pid is left to the caller (an override may supply it).
bool adapter_config_parse(std::string_view text, const std::string& path, const ConfigFinder& find,
                          AdapterConfig& config, std::string& error);

// What the configuration says, one line each: vid_pid, channel, layout_init, signal, speed_khz.
std::string adapter_config_text(const AdapterConfig& config);
