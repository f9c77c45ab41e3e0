// SPDX-License-Identifier: Apache-2.0
// The packets to and from a CMSIS-DAP probe: v2 over a USB bulk interface, v1 over HID reports.
// Only the platform talks to the USB device; the cable code above builds and parses the packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/usb_transport.h"

struct DapChoice {
    UsbId id{};  // 0:0 any CMSIS-DAP probe
    std::string serial{};
};

// A probe on the bus, as its descriptors name it.
struct DapProbeInfo {
    UsbId id;
    std::string serial;
    std::string product;
    int version = 2;  // 2: bulk interface, 1: HID
};

class DapTransport {
public:
    virtual ~DapTransport() = default;

    // Opens the one probe `choice` names (v2 where it has a bulk interface). nullptr on success,
    // else a one-line reason (no probe, several of them, busy, permission).
    virtual const char* open(const DapChoice& choice) = 0;
    // The probe open() took.
    virtual DapProbeInfo probe() const = 0;
    // Every CMSIS-DAP probe plugged in, without opening any; nullptr, or a one-line reason.
    virtual const char* list(std::vector<DapProbeInfo>& found) = 0;
    // The largest packet the link carries (a HID report, a bulk packet): room for DAP_Info.
    virtual size_t link_packet_size() const = 0;
    // The packet size the probe reported: HID reports are written at that size.
    virtual void set_packet_size(size_t bytes) = 0;
    // Sends one command packet; false on a USB error (see error()).
    virtual bool write(const uint8_t* packet, size_t length) = 0;
    // Receives one answer packet into `packet` (room for `capacity`); its length into `got`.
    virtual bool read(uint8_t* packet, size_t capacity, size_t& got) = 0;
    virtual const char* error() const = 0;
    virtual void close() = 0;
};
