// SPDX-License-Identifier: Apache-2.0
// The USB adapter through libftdi1: opens an FT2232H/FT2232D/FT232H interface in MPSSE mode
// and moves the cable's command and answer bytes.
#pragma once

#include <string>

#include "platform/device_lock.h"
#include "platform/usb_transport.h"

struct ftdi_context;
struct libusb_device;

class FtdiTransport final : public UsbTransport {
public:
    FtdiTransport() = default;
    FtdiTransport(const FtdiTransport&) = delete;
    FtdiTransport& operator=(const FtdiTransport&) = delete;
    ~FtdiTransport() override;

    const char* open(const UsbDeviceChoice& choice, uint8_t direction) override;
    UsbChip chip() const override { return chip_; }
    UsbDeviceInfo device() const override { return device_; }
    const char* list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found) override;
    bool write(const uint8_t* data, size_t length) override;
    bool read(uint8_t* data, size_t length) override;
    const char* error() const override { return error_.c_str(); }
    void close() override;

private:
    const char* fail(std::string text);
    const char* open_failure(int code, int saved_errno, uint16_t vendor, uint16_t product);
    bool set_up(uint8_t direction);
    const char* find(const UsbDeviceChoice& choice, libusb_device*& chosen);
    bool strings(libusb_device* dev, UsbDeviceInfo& info);

    ftdi_context* ftdi_ = nullptr;
    bool open_ = false;
    std::string ids_;  // "0403:6010" of the open device, for messages
    UsbChip chip_;
    UsbDeviceInfo device_;
    DeviceLock lock_;  // the adapter, held from before open until close
    std::string error_;
};
