// SPDX-License-Identifier: Apache-2.0
// CMSIS-DAP v1: HID reports of the packet size, written after a report id of 0.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <hidapi/hidapi.h>

#include "platform/linux/dap_probes.h"

namespace {

constexpr int kTimeoutMs = 1000;

std::string narrow(const wchar_t* text)
{
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

class HidLink final : public DapLink {
public:
    HidLink() { usable_ = hid_init() == 0; }
    ~HidLink() override
    {
        close();
        if (usable_)
            hid_exit();
    }

    void find(std::vector<DapProbeInfo>& found, std::vector<std::string>& paths) override
    {
        if (!usable_)
            return;
        hid_device_info* list = hid_enumerate(0, 0);
        for (hid_device_info* d = list; d != nullptr; d = d->next) {
            const std::string product = narrow(d->product_string);
            if (product.find("CMSIS-DAP") == std::string::npos)
                continue;
            found.push_back({{d->vendor_id, d->product_id}, narrow(d->serial_number), product, 1});
            paths.emplace_back(d->path);
        }
        hid_free_enumeration(list);
    }

    const char* open(const std::string& path, const DapProbeInfo& probe) override
    {
        close();
        errno = 0;
        device_ = hid_open_path(path.c_str());
        if (device_ != nullptr)
            return nullptr;
        const std::string ids = usb_id_text(probe.id);
        if (errno == EACCES)
            return fail("permission denied on HID device " + ids + " (" + path +
                        "): add the udev rule of the package (60-tarnflash.rules) and replug the probe");
        return fail("cannot open HID device " + ids + " (" + path + "): " + narrow(hid_error(nullptr)));
    }

    bool write(const uint8_t* packet, size_t length, size_t packet_size) override
    {
        // Report id 0, then the packet padded to a whole report.
        report_.assign(packet_size + 1, 0);
        std::memcpy(report_.data() + 1, packet, std::min(length, packet_size));
        if (hid_write(device_, report_.data(), report_.size()) < 0)
            return failed("USB write failed: ");
        return true;
    }

    bool read(uint8_t* packet, size_t capacity, size_t& got) override
    {
        const int n = hid_read_timeout(device_, packet, capacity, kTimeoutMs);
        if (n <= 0)
            return failed(n == 0 ? "USB read timed out: " : "USB read failed: ");
        got = static_cast<size_t>(n);
        return true;
    }

    const char* error() const override { return error_.c_str(); }

    void close() override
    {
        if (device_ != nullptr)
            hid_close(device_);
        device_ = nullptr;
    }

private:
    const char* fail(std::string text)
    {
        error_ = std::move(text);
        return error_.c_str();
    }
    bool failed(const char* what)
    {
        const std::string cause = narrow(hid_error(device_));
        fail(what + (cause.empty() ? std::string("the probe does not answer (unplugged?)") : cause));
        return false;
    }

    bool usable_ = false;
    hid_device* device_ = nullptr;
    std::vector<uint8_t> report_;
    std::string error_;
};

}  // namespace

std::unique_ptr<DapLink> dap_hid_link() { return std::make_unique<HidLink>(); }
