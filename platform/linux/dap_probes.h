// SPDX-License-Identifier: Apache-2.0
// The CMSIS-DAP probes on Linux: v2 through libusb-1.0 (a vendor interface named "CMSIS-DAP" with
// a bulk OUT and a bulk IN endpoint), v1 through hidapi (a HID device whose product string
// names CMSIS-DAP). Either half may be left out of the build; the probe is held with the
// system's device lock while open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dap_transport.h"
#include "platform/device_lock.h"

// One way to reach probes: the bulk interface or HID.
class DapLink {
public:
    virtual ~DapLink() = default;
    // Appends the probes it sees, with `path` naming each for open().
    virtual void find(std::vector<DapProbeInfo>& found, std::vector<std::string>& paths) = 0;
    virtual const char* open(const std::string& path, const DapProbeInfo& probe) = 0;
    virtual bool write(const uint8_t* packet, size_t length, size_t packet_size) = 0;
    virtual bool read(uint8_t* packet, size_t capacity, size_t& got) = 0;
    virtual const char* error() const = 0;
    virtual void close() = 0;
};

std::unique_ptr<DapLink> dap_bulk_link();  // nullptr without libusb-1.0
std::unique_ptr<DapLink> dap_hid_link();   // nullptr without hidapi

class DapProbes final : public DapTransport {
public:
    DapProbes(std::unique_ptr<DapLink> bulk, std::unique_ptr<DapLink> hid);
    ~DapProbes() override { close(); }

    const char* open(const DapChoice& choice) override;
    DapProbeInfo probe() const override { return probe_; }
    const char* list(std::vector<DapProbeInfo>& found) override;
    size_t link_packet_size() const override { return probe_.version == 1 ? 64 : 512; }
    void set_packet_size(size_t bytes) override { packet_size_ = bytes; }
    bool write(const uint8_t* packet, size_t length) override;
    bool read(uint8_t* packet, size_t capacity, size_t& got) override;
    const char* error() const override;
    void close() override;

private:
    const char* fail(std::string text);

    std::unique_ptr<DapLink> bulk_;
    std::unique_ptr<DapLink> hid_;
    DapLink* open_ = nullptr;
    DapProbeInfo probe_;
    size_t packet_size_ = 64;
    DeviceLock lock_;
    std::string error_;
};
