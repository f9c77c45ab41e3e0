// SPDX-License-Identifier: Apache-2.0
// The USB adapter through FTDI's D2XX library: opens an FT2232H/FT2232D/FT232H channel in MPSSE
// mode and moves the cable's command and answer bytes. The library is found when first needed.
#pragma once

#include <string>
#include <vector>

#include <windows.h>
// <windows.h> makes `interface` a macro (a COM keyword); here it is the USB choice's field.
#undef interface

#include "platform/device_lock.h"
#include "platform/usb_transport.h"
#include "platform/windows/console_close.h"
#include "platform/windows/d2xx_library.h"

class D2xxTransport final : public UsbTransport, ConsoleCloseWatch {
public:
    D2xxTransport();
    D2xxTransport(const D2xxTransport&) = delete;
    D2xxTransport& operator=(const D2xxTransport&) = delete;
    ~D2xxTransport() override;

    const char* open(const UsbDeviceChoice& choice, uint8_t direction) override;
    UsbChip chip() const override { return chip_; }
    UsbDeviceInfo device() const override { return device_; }
    const char* list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found) override;
    bool write(const uint8_t* data, size_t length) override;
    bool read(uint8_t* data, size_t length) override;
    const char* error() const override { return error_.c_str(); }
    void close() override;

    // On a console close: whether an adapter is still open, and letting go of it from the
    // console's thread when the job did not stop in time.
    bool adapter_open() override;
    void let_go() override { close(); }

private:
    const char* fail(std::string text);
    bool failed(const char* what, d2xx::Status status);
    const char* load();
    const char* nodes(std::vector<d2xx::ListNode>& found);
    bool set_up(uint8_t direction);

    const d2xx::Library* d2xx_ = nullptr;
    d2xx::Handle handle_ = nullptr;
    CRITICAL_SECTION calls_;  // the job's thread and the console's close thread
    std::string ids_;         // "0403:6010" of the open device, for messages
    UsbChip chip_;
    UsbDeviceInfo device_;
    DeviceLock lock_;  // the adapter, held from before open until close
    std::string error_;
};
