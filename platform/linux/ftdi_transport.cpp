// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/ftdi_transport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

#include <libftdi1/ftdi.h>
#include <libusb.h>

namespace {
constexpr unsigned char kLatencyMs = 2;
constexpr int kUsbTimeoutMs = 1000;
// The adapter answers within microseconds; a read still short after this never completes.
constexpr auto kReadDeadline = std::chrono::seconds(2);

}  // namespace

FtdiTransport::~FtdiTransport()
{
    close();
    if (ftdi_)
        ftdi_free(ftdi_);
}

const char* FtdiTransport::fail(std::string text)
{
    error_ = std::move(text);
    return error_.c_str();
}

// The first device of the choice's IDs, in their order, that has the serial and description
// asked for. Reading a device's strings is no traffic to its MPSSE engine.
const char* FtdiTransport::find(const UsbDeviceChoice& choice, libusb_device*& chosen)
{
    const std::vector<UsbId> ids = usb_ids_tried(choice);
    chosen = nullptr;
    for (const UsbId& id : ids) {
        ftdi_device_list* list = nullptr;
        if (ftdi_usb_find_all(ftdi_, &list, id.vendor, id.product) < 0)
            continue;
        for (ftdi_device_list* entry = list; entry != nullptr && chosen == nullptr; entry = entry->next) {
            UsbDeviceInfo info;
            info.id = id;
            ids_ = usb_id_text(id);
            if (!strings(entry->dev, info)) {
                ftdi_list_free(&list);
                return open_failure(-4, EACCES, id.vendor, id.product);
            }
            if ((choice.serial.empty() || info.serial == choice.serial) &&
                (choice.description.empty() || info.description == choice.description)) {
                chosen = libusb_ref_device(entry->dev);
                device_ = info;
                ids_ = usb_id_text(id);
            }
        }
        ftdi_list_free(&list);
        if (chosen != nullptr)
            return nullptr;
    }
    return fail("no USB JTAG adapter found (looked for " + usb_ids_text(choice) + ")");
}

// False only when the device may not even be opened to read them (permission).
bool FtdiTransport::strings(libusb_device* dev, UsbDeviceInfo& info)
{
    char description[128] = {};
    char serial[128] = {};
    errno = 0;
    const int code =
        ftdi_usb_get_strings(ftdi_, dev, nullptr, 0, description, sizeof description, serial, sizeof serial);
    if (code == -4 && (errno == EACCES || errno == EPERM))
        return false;
    info.description = description;
    info.serial = serial;
    return true;
}

const char* FtdiTransport::list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found)
{
    if (!ftdi_ && !(ftdi_ = ftdi_new()))
        return fail("libusb cannot start on this machine");
    std::vector<UsbId> all(std::begin(kFtdiMpsseIds), std::end(kFtdiMpsseIds));
    for (const UsbId& id : ids)
        if (std::none_of(all.begin(), all.end(),
                         [&](const UsbId& o) { return o.vendor == id.vendor && o.product == id.product; }))
            all.push_back(id);
    for (const UsbId& id : all) {
        ftdi_device_list* list = nullptr;
        if (ftdi_usb_find_all(ftdi_, &list, id.vendor, id.product) < 0)
            continue;
        for (ftdi_device_list* entry = list; entry != nullptr; entry = entry->next) {
            UsbDeviceInfo info;
            info.id = id;
            if (!strings(entry->dev, info))
                info.description = "(no permission to read its strings: see the udev rule)";
            found.push_back(info);
        }
        ftdi_list_free(&list);
    }
    return nullptr;
}

const char* FtdiTransport::open(const UsbDeviceChoice& choice, uint8_t direction)
{
    close();
    if (choice.interface != 'A' && choice.interface != 'B')
        return fail(std::string("the adapter has no interface '") + choice.interface + "' (A or B)");
    if (!ftdi_ && !(ftdi_ = ftdi_new()))
        return fail("no USB JTAG adapter found (looked for " + usb_ids_text(choice) +
                    "): libusb cannot start on this machine");
    ftdi_set_interface(ftdi_, choice.interface == 'B' ? INTERFACE_B : INTERFACE_A);

    libusb_device* dev = nullptr;
    if (const char* reason = find(choice, dev))
        return reason;
    std::string what = "USB adapter " + ids_ + (device_.serial.empty() ? "" : " serial " + device_.serial);
    if (const char* busy = lock_.take(usb_lock_key(device_.id.vendor, device_.id.product, device_.serial), what)) {
        libusb_unref_device(dev);
        return fail(busy);
    }
    errno = 0;
    const int code = ftdi_usb_open_dev(ftdi_, dev);
    const int saved_errno = errno;
    libusb_unref_device(dev);
    if (code != 0) {
        lock_.release();
        return open_failure(code, saved_errno, device_.id.vendor, device_.id.product);
    }
    open_ = true;

    switch (ftdi_->type) {
    case TYPE_2232H:
    case TYPE_232H:
        chip_ = UsbChip{true, 4096};
        break;
    case TYPE_4232H:
        chip_ = UsbChip{true, 2048};
        break;
    case TYPE_2232C:  // the FT2232D
        chip_ = UsbChip{false, 384};
        if (choice.interface == 'B') {
            close();
            return fail("interface B of the FT2232D has no MPSSE engine (use A)");
        }
        break;
    default:
        close();
        return fail("USB device " + ids_ + " is an FTDI chip without an MPSSE engine");
    }
    if (!set_up(direction)) {
        std::string reason = error_;
        close();
        return fail(reason);
    }
    return nullptr;
}

const char* FtdiTransport::open_failure(int code, int saved_errno, uint16_t vendor, uint16_t product)
{
    char rule[160];
    std::snprintf(rule, sizeof rule,
                  "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\", MODE=\"0660\", "
                  "GROUP=\"plugdev\"",
                  vendor, product);
    // libftdi: -4 the device would not open (errno says why), -5 its interface is claimed,
    // -8 the kernel driver could not be detached for lack of permission.
    if (code == -8 || (code == -4 && (saved_errno == EACCES || saved_errno == EPERM)))
        return fail("permission denied on USB device " + ids_ + ": add the udev rule '" + rule +
                    "' in /etc/udev/rules.d/ and join the plugdev group");
    if (code == -5 || saved_errno == EBUSY)
        return fail("USB device " + ids_ + " is busy: another program or the kernel's ftdi_sio driver holds it");
    return fail("cannot open USB device " + ids_ + ": " + ftdi_get_error_string(ftdi_));
}

bool FtdiTransport::set_up(uint8_t direction)
{
    auto step = [&](const char* name, int result) {
        if (result < 0)
            fail("USB device " + ids_ + ": " + name + " failed: " + ftdi_get_error_string(ftdi_));
        return result >= 0;
    };
#ifdef SIO_TCIFLUSH
    auto purge = [&] { return ftdi_tcioflush(ftdi_); };
#else  // libftdi before 1.5
    auto purge = [&] { return ftdi_usb_purge_buffers(ftdi_); };
#endif
    if (!step("reset", ftdi_usb_reset(ftdi_)) || !step("purge", purge()) ||
        !step("latency timer", ftdi_set_latency_timer(ftdi_, kLatencyMs)) ||
        !step("bit mode reset", ftdi_set_bitmode(ftdi_, 0, BITMODE_RESET)) ||
        !step("MPSSE mode", ftdi_set_bitmode(ftdi_, direction, BITMODE_MPSSE)))
        return false;
    ftdi_->usb_read_timeout = kUsbTimeoutMs;
    ftdi_->usb_write_timeout = kUsbTimeoutMs;
    return true;
}

bool FtdiTransport::write(const uint8_t* data, size_t length)
{
    if (!open_) {
        fail("USB write: the device is not open");
        return false;
    }
    for (size_t done = 0; done < length;) {
        int chunk = static_cast<int>(std::min<size_t>(length - done, INT_MAX));
        int written = ftdi_write_data(ftdi_, data + done, chunk);
        if (written <= 0) {
            fail(std::string("USB write failed: ") + (written < 0 ? ftdi_get_error_string(ftdi_) : "nothing taken"));
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool FtdiTransport::read(uint8_t* data, size_t length)
{
    if (!open_) {
        fail("USB read: the device is not open");
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kReadDeadline;
    size_t got = 0;
    while (got < length) {
        // Each call waits at most one latency-timer period for data, so this loop does not spin.
        int count = ftdi_read_data(ftdi_, data + got, static_cast<int>(std::min<size_t>(length - got, INT_MAX)));
        if (count < 0) {
            fail(std::string("USB read failed: ") + ftdi_get_error_string(ftdi_));
            return false;
        }
        got += static_cast<size_t>(count);
        if (count == 0 && got < length && std::chrono::steady_clock::now() > deadline) {
            fail(usb_read_timeout_text(got, length));
            return false;
        }
    }
    return true;
}

void FtdiTransport::close()
{
    if (!open_)
        return;
    ftdi_set_bitmode(ftdi_, 0, BITMODE_RESET);
    ftdi_usb_close(ftdi_);
    lock_.release();
    open_ = false;
}
