// SPDX-License-Identifier: Apache-2.0
// CMSIS-DAP v2: the probe's vendor interface named "CMSIS-DAP", bulk OUT then bulk IN.
#include <cstring>
#include <string>

#include <libusb.h>

#include "platform/linux/dap_probes.h"

namespace {

constexpr unsigned kTimeoutMs = 1000;

struct BulkInterface {
    int number = -1;
    uint8_t out = 0;
    uint8_t in = 0;
};

class BulkLink final : public DapLink {
public:
    BulkLink() { usable_ = libusb_init(&context_) == 0; }
    ~BulkLink() override
    {
        close();
        if (usable_)
            libusb_exit(context_);
    }

    void find(std::vector<DapProbeInfo>& found, std::vector<std::string>& paths) override
    {
        if (!usable_)
            return;
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        for (ssize_t i = 0; i < count; ++i) {
            DapProbeInfo info;
            BulkInterface bulk;
            if (!describe(list[i], info, bulk))
                continue;
            found.push_back(info);
            paths.push_back(std::to_string(libusb_get_bus_number(list[i])) + "." +
                            std::to_string(libusb_get_device_address(list[i])));
        }
        if (count >= 0)
            libusb_free_device_list(list, 1);
    }

    const char* open(const std::string& path, const DapProbeInfo& probe) override
    {
        close();
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        libusb_device* chosen = nullptr;
        for (ssize_t i = 0; i < count && chosen == nullptr; ++i)
            if (path == std::to_string(libusb_get_bus_number(list[i])) + "." +
                            std::to_string(libusb_get_device_address(list[i])))
                chosen = list[i];
        const std::string ids = usb_id_text(probe.id);
        DapProbeInfo info;
        int code = chosen == nullptr ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_SUCCESS;
        if (code == 0 && !describe(chosen, info, bulk_))
            code = LIBUSB_ERROR_NOT_FOUND;
        if (code == 0)
            code = libusb_open(chosen, &handle_);
        if (count >= 0)
            libusb_free_device_list(list, 1);
        if (code == 0) {
            libusb_set_auto_detach_kernel_driver(handle_, 1);
            code = libusb_claim_interface(handle_, bulk_.number);
        }
        if (code == LIBUSB_ERROR_ACCESS)
            return fail("permission denied on USB device " + ids +
                        ": add the udev rule of the package (60-tarnflash.rules) and replug the probe");
        if (code == LIBUSB_ERROR_BUSY)
            return fail("USB device " + ids + " is busy: another program holds its CMSIS-DAP interface");
        if (code != 0)
            return fail("cannot open USB device " + ids + ": " + libusb_strerror(code));
        claimed_ = true;
        return nullptr;
    }

    bool write(const uint8_t* packet, size_t length, size_t) override
    {
        int done = 0;
        const int code = libusb_bulk_transfer(handle_, bulk_.out, const_cast<uint8_t*>(packet),
                                              static_cast<int>(length), &done, kTimeoutMs);
        if (code != 0 || done != static_cast<int>(length))
            return failed("USB write failed: ", code);
        return true;
    }

    bool read(uint8_t* packet, size_t capacity, size_t& got) override
    {
        int done = 0;
        const int code = libusb_bulk_transfer(handle_, bulk_.in, packet, static_cast<int>(capacity), &done, kTimeoutMs);
        got = static_cast<size_t>(done);
        if (code != 0)
            return failed("USB read failed: ", code);
        return true;
    }

    const char* error() const override { return error_.c_str(); }

    void close() override
    {
        if (claimed_)
            libusb_release_interface(handle_, bulk_.number);
        claimed_ = false;
        if (handle_ != nullptr)
            libusb_close(handle_);
        handle_ = nullptr;
    }

private:
    const char* fail(std::string text)
    {
        error_ = std::move(text);
        return error_.c_str();
    }
    bool failed(const char* what, int code)
    {
        fail(std::string(what) + (code == LIBUSB_ERROR_NO_DEVICE ? "no such device (the probe was unplugged)"
                                  : code == 0                    ? "a short transfer"
                                                                 : libusb_strerror(code)));
        return false;
    }

    // A device with a CMSIS-DAP bulk interface: its IDs and strings, and that interface. Reading
    // the strings opens the device; one that may not be opened is passed over.
    bool describe(libusb_device* device, DapProbeInfo& info, BulkInterface& bulk)
    {
        libusb_device_descriptor descriptor{};
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_device_descriptor(device, &descriptor) != 0 ||
            libusb_get_active_config_descriptor(device, &config) != 0)
            return false;
        libusb_device_handle* handle = nullptr;
        bool ok = false;
        for (uint8_t i = 0; i < config->bNumInterfaces && !ok; ++i) {
            if (config->interface[i].num_altsetting < 1)
                continue;
            const libusb_interface_descriptor& alt = config->interface[i].altsetting[0];
            if (alt.bInterfaceClass != LIBUSB_CLASS_VENDOR_SPEC || alt.bNumEndpoints < 2 || alt.iInterface == 0)
                continue;
            const libusb_endpoint_descriptor* ep = alt.endpoint;
            const bool bulk_pair = (ep[0].bmAttributes & 3) == LIBUSB_TRANSFER_TYPE_BULK &&
                                   (ep[1].bmAttributes & 3) == LIBUSB_TRANSFER_TYPE_BULK &&
                                   (ep[0].bEndpointAddress & LIBUSB_ENDPOINT_IN) == 0 &&
                                   (ep[1].bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
            if (!bulk_pair || (handle == nullptr && libusb_open(device, &handle) != 0))
                continue;
            if (text(handle, alt.iInterface).find("CMSIS-DAP") == std::string::npos)
                continue;
            bulk = {alt.bInterfaceNumber, ep[0].bEndpointAddress, ep[1].bEndpointAddress};
            info = {{descriptor.idVendor, descriptor.idProduct},
                    text(handle, descriptor.iSerialNumber),
                    text(handle, descriptor.iProduct),
                    2};
            ok = true;
        }
        if (handle != nullptr)
            libusb_close(handle);
        libusb_free_config_descriptor(config);
        return ok;
    }

    static std::string text(libusb_device_handle* handle, uint8_t index)
    {
        unsigned char buffer[256] = {};
        if (index == 0 || libusb_get_string_descriptor_ascii(handle, index, buffer, sizeof buffer) < 0)
            return {};
        return reinterpret_cast<const char*>(buffer);
    }

    libusb_context* context_ = nullptr;
    bool usable_ = false;
    libusb_device_handle* handle_ = nullptr;
    BulkInterface bulk_;
    bool claimed_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<DapLink> dap_bulk_link() { return std::make_unique<BulkLink>(); }
