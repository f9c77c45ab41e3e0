// SPDX-License-Identifier: Apache-2.0
// Which pins of a BSDL device carry the flash bus: the text of --bus and --hold.
#pragma once

#include <string>
#include <vector>

struct PinHold {
    std::string pin;
    char level;  // '0', '1', or 'z' for released
};

struct BusMap {
    std::vector<std::string> address;  // flash A0 upwards
    std::vector<std::string> data;     // flash DQ0 upwards
    std::string ncs;
    std::string noe;
    std::string nwe;
    std::vector<PinHold> holds;
};

// "addr=A(1..22) data=D(0..15) ncs=nCS0 noe=nOE nwe=nWE": items separated by spaces or commas;
// a list is names joined by '+', where a name may be a range (A1..A22, A(1..22), A(22..1)).
// False with a one-line reason.
bool bus_map_parse(const char* text, BusMap& map, std::string& error);

// "PIN=0", "PIN=1" or "PIN=z", added to the map's holds.
bool bus_hold_parse(const char* text, BusMap& map, std::string& error);
