// SPDX-License-Identifier: Apache-2.0
// The byte stream to a USB JTAG adapter's MPSSE engine (FTDI FT2232H/FT2232D/FT232H). Only
// the platform talks to the USB device; the cable code above builds and parses the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
};

struct UsbDeviceChoice {
    uint16_t vendor = 0x0403;
    uint16_t product = 0;  // 0: the first of 0x6010 (FT2232H/D) and 0x6014 (FT232H) found
    char interface = 'A';  // 'A' or 'B'
    // Further pairs, tried in order after vendor:product: the first one plugged in is taken.
    std::vector<UsbId> more_ids{};
    std::string serial{};       // empty: any serial number
    std::string description{};  // empty: any product description
};

// A device on the bus, as its USB descriptors name it.
struct UsbDeviceInfo {
    UsbId id;
    std::string serial;
    std::string description;
    // Where the system's driver says so (FTDI's D2XX): the chip, as "FT2232H", and where it is
    // plugged in.
    std::string chip{};
    uint32_t location = 0;
};

// What the opened chip can do: the cable picks its clock and batch sizes from it.
struct UsbChip {
    bool h_series = true;          // FT2232H/FT232H: 60 MHz clock base; false: FT2232D, 12 MHz only
    uint32_t buffer_bytes = 4096;  // command and answer buffer of the interface (FT2232D: 384)
};

class UsbTransport {
public:
    virtual ~UsbTransport() = default;

    // Opens the device and puts the interface in MPSSE mode (reset, purge, 2 ms latency timer,
    // bit mode reset, then MPSSE with `direction` on the low byte). nullptr on success, else a
    // one-line reason that names the cause (no device, busy, permission: the udev rule to add).
    virtual const char* open(const UsbDeviceChoice& choice, uint8_t direction) = 0;
    // The chip behind the open interface; meaningful only after open() succeeded.
    virtual UsbChip chip() const = 0;
    // The device open() took: its IDs, serial number and description.
    virtual UsbDeviceInfo device() const = 0;
    // Every device plugged in with one of `ids` (and the FTDI chips' own IDs), without opening
    // any: nullptr, or a one-line reason when the bus cannot be looked at.
    virtual const char* list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found) = 0;
    // Queues `length` bytes to the engine; false on a USB error (see error()).
    virtual bool write(const uint8_t* data, size_t length) = 0;
    // Waits for exactly `length` answer bytes; false on a USB error or when they never come.
    virtual bool read(uint8_t* data, size_t length) = 0;
    // The last failure, one line.
    virtual const char* error() const = 0;
    virtual void close() = 0;
};

// The IDs an open looks for, as the "no device" line names them: "0403:6010 or 0403:6014"
// when the product is left open, else the pairs; then the serial number asked for.
std::string usb_ids_text(const UsbDeviceChoice& choice);

// "0403:6010"
std::string usb_id_text(UsbId id);

// The IDs an open tries, in order: vendor:product (with the product left open, 6010 then 6014),
// then the further pairs.
std::vector<UsbId> usb_ids_tried(const UsbDeviceChoice& choice);

// "USB read timed out: 3 of 6 answer bytes came", a transport's error when answers stop coming.
std::string usb_read_timeout_text(size_t got, size_t length);

// The MPSSE chips' own IDs: FT2232H/FT2232D, FT4232H, FT232H.
inline constexpr UsbId kFtdiMpsseIds[] = {{0x0403, 0x6010}, {0x0403, 0x6011}, {0x0403, 0x6014}};
