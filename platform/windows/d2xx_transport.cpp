// SPDX-License-Identifier: Apache-2.0
#include "platform/windows/d2xx_transport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr UCHAR kLatencyMs = 2;
// The adapter answers within microseconds: a read that brings nothing for this long never will.
constexpr ULONG kTimeoutMs = 1000;
constexpr ULONG kTransferBytes = 65536;

class CallLock {
public:
    explicit CallLock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~CallLock() { LeaveCriticalSection(&section_); }
    CallLock(const CallLock&) = delete;
    CallLock& operator=(const CallLock&) = delete;

private:
    CRITICAL_SECTION& section_;
};

std::string text_of(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

UsbId id_of(const d2xx::ListNode& node)
{
    return {static_cast<uint16_t>(node.id >> 16), static_cast<uint16_t>(node.id & 0xFFFF)};
}

UsbDeviceInfo info_of(const d2xx::ListNode& node)
{
    char spare[24];
    return {id_of(node), text_of(node.serial, sizeof node.serial), text_of(node.description, sizeof node.description),
            d2xx::type_name(node.type, spare), static_cast<uint32_t>(node.location)};
}

// The chips with more than one channel name each as the device's serial number and
// description with the channel's letter added.
bool multi_channel(const d2xx::ListNode& node) { return node.type == 4 || node.type == 6 || node.type == 7; }

char channel(const d2xx::ListNode& node)
{
    if (!multi_channel(node))
        return 'A';
    const std::string named = node.serial[0] != '\0' ? text_of(node.serial, sizeof node.serial)
                                                     : text_of(node.description, sizeof node.description);
    return named.empty() ? '?' : named.back();
}

// The device's own serial number and description, without the channel's letter.
std::string device_text(const std::string& text, const d2xx::ListNode& node, size_t letter_chars)
{
    if (!multi_channel(node) || text.size() < letter_chars)
        return text;
    return text.substr(0, text.size() - letter_chars);
}

bool named_by(const UsbDeviceChoice& choice, const d2xx::ListNode& node)
{
    const std::string serial = text_of(node.serial, sizeof node.serial);
    const std::string description = text_of(node.description, sizeof node.description);
    const bool described = choice.description.empty() || choice.description == description ||
                           choice.description == device_text(description, node, 2);
    // A channel's own serial number, as --cable-list shows it, names that channel.
    if (multi_channel(node) && !choice.serial.empty() && choice.serial == serial)
        return described;
    return described && channel(node) == choice.interface &&
           (choice.serial.empty() || choice.serial == device_text(serial, node, 1));
}

UsbChip chip_of(const d2xx::ListNode& node)
{
    switch (node.type) {
    case 4:
        return {false, 384};
    case 7:
        return {true, 2048};
    default:
        return {true, 4096};
    }
}

bool has_mpsse(const d2xx::ListNode& node) { return node.type == 4 || (node.type >= 6 && node.type <= 8); }

}  // namespace

D2xxTransport::D2xxTransport() { InitializeCriticalSection(&calls_); }

D2xxTransport::~D2xxTransport()
{
    close();
    DeleteCriticalSection(&calls_);
}

const char* D2xxTransport::fail(std::string text)
{
    error_ = std::move(text);
    return error_.c_str();
}

bool D2xxTransport::failed(const char* what, d2xx::Status status)
{
    if (status == d2xx::kOk)
        return false;
    char spare[24];
    fail("USB device " + ids_ + ": " + what + " failed: " + d2xx::status_name(status, spare));
    return true;
}

const char* D2xxTransport::load()
{
    const char* missing = nullptr;
    d2xx_ = d2xx::library(missing);
    if (d2xx_ != nullptr)
        return nullptr;
    if (std::strcmp(missing, "ftd2xx.dll") == 0)
        return fail("No ftd2xx.dll on this PC: the USB cable needs FTDI's D2XX driver, which installs it");
    return fail(std::string("ftd2xx.dll has no ") + missing +
                ": the USB cable needs FTDI's D2XX driver, installed whole");
}

const char* D2xxTransport::nodes(std::vector<d2xx::ListNode>& found)
{
    if (const char* reason = load())
        return reason;
    char spare[24];
    DWORD count = 0;
    d2xx::Status status = d2xx_->create_device_info_list(&count);
    if (status == d2xx::kOk && count > 0) {
        found.assign(count, d2xx::ListNode{});
        status = d2xx_->get_device_info_list(found.data(), &count);
    }
    if (status != d2xx::kOk)
        return fail(std::string("FTDI's D2XX library cannot list the USB adapters: ") +
                    d2xx::status_name(status, spare));
    found.resize(std::min<size_t>(count, found.size()));
    return nullptr;
}

const char* D2xxTransport::list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found)
{
    std::vector<d2xx::ListNode> all;
    if (const char* reason = nodes(all))
        return reason;
    std::vector<UsbId> wanted(std::begin(kFtdiMpsseIds), std::end(kFtdiMpsseIds));
    wanted.insert(wanted.end(), ids.begin(), ids.end());
    for (const d2xx::ListNode& node : all) {
        const UsbId id = id_of(node);
        if (std::none_of(wanted.begin(), wanted.end(),
                         [&](const UsbId& w) { return w.vendor == id.vendor && w.product == id.product; }))
            continue;
        found.push_back(info_of(node));
    }
    return nullptr;
}

const char* D2xxTransport::open(const UsbDeviceChoice& choice, uint8_t direction)
{
    close();
    if (choice.interface != 'A' && choice.interface != 'B')
        return fail(std::string("the adapter has no interface '") + choice.interface + "' (A or B)");
    std::vector<d2xx::ListNode> all;
    if (const char* reason = nodes(all))
        return reason;
    // The first device of the choice's IDs, in their order, as on every system.
    const std::vector<UsbId> ids = usb_ids_tried(choice);
    const d2xx::ListNode* node = nullptr;
    for (const UsbId& id : ids)
        for (const d2xx::ListNode& n : all)
            if (node == nullptr && id_of(n).vendor == id.vendor && id_of(n).product == id.product &&
                named_by(choice, n))
                node = &n;
    if (node == nullptr)
        return fail("no USB JTAG adapter found (looked for " + usb_ids_text(choice) + ")");

    char spare[24];
    device_ = info_of(*node);
    ids_ = usb_id_text(device_.id);
    if (!has_mpsse(*node))
        return fail("USB device " + ids_ + " is an FTDI chip without an MPSSE engine");
    if (node->type == 4 && channel(*node) != 'A')
        return fail("interface B of the FT2232D has no MPSSE engine (use A)");
    chip_ = chip_of(*node);

    // One job per adapter, both channels of a chip included, as on every system.
    const std::string own_serial = device_text(device_.serial, *node, 1);
    const std::string what = "USB adapter " + ids_ + (own_serial.empty() ? "" : " serial " + own_serial);
    if (const char* busy = lock_.take(usb_lock_key(device_.id.vendor, device_.id.product, own_serial), what))
        return fail(busy);
    // By serial number where the channel has one, else by where it is plugged in.
    d2xx::Handle handle = nullptr;
    char location_text[24];
    std::snprintf(location_text, sizeof location_text, "0x%lx", static_cast<unsigned long>(node->location));
    d2xx::Status status = node->serial[0] != '\0'
                              ? d2xx_->open_ex(const_cast<char*>(node->serial), d2xx::kOpenBySerial, &handle)
                              : d2xx_->open_ex(reinterpret_cast<void*>(static_cast<uintptr_t>(node->location)),
                                               d2xx::kOpenByLocation, &handle);
    if (status != d2xx::kOk || handle == nullptr) {
        lock_.release();
        return fail(
            "cannot open USB device " + ids_ +
            (node->serial[0] != '\0' ? " serial " + device_.serial : std::string(" at location ") + location_text) +
            ": " + d2xx::status_name(status, spare) + " (is another program using it?)");
    }
    {
        CallLock hold(calls_);
        handle_ = handle;
    }
    if (!set_up(direction)) {
        std::string reason = error_;
        close();
        return fail(reason);
    }
    console_close_watch(this);
    return nullptr;
}

bool D2xxTransport::set_up(uint8_t direction)
{
    CallLock hold(calls_);
    return !failed("reset", d2xx_->reset_device(handle_)) &&
           !failed("purge", d2xx_->purge(handle_, d2xx::kPurgeBoth)) &&
           !failed("USB transfer sizes", d2xx_->set_usb_parameters(handle_, kTransferBytes, kTransferBytes)) &&
           !failed("event characters", d2xx_->set_chars(handle_, 0, 0, 0, 0)) &&
           !failed("timeouts", d2xx_->set_timeouts(handle_, kTimeoutMs, kTimeoutMs)) &&
           !failed("latency timer", d2xx_->set_latency_timer(handle_, kLatencyMs)) &&
           !failed("bit mode reset", d2xx_->set_bit_mode(handle_, 0, d2xx::kBitModeReset)) &&
           !failed("MPSSE mode", d2xx_->set_bit_mode(handle_, direction, d2xx::kBitModeMpsse));
}

bool D2xxTransport::write(const uint8_t* data, size_t length)
{
    CallLock hold(calls_);
    if (handle_ == nullptr) {
        fail("USB write: the device is not open");
        return false;
    }
    for (size_t done = 0; done < length;) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - done, kTransferBytes));
        DWORD written = 0;
        char spare[24];
        const d2xx::Status status = d2xx_->write(handle_, const_cast<uint8_t*>(data + done), chunk, &written);
        if (status != d2xx::kOk) {
            fail(std::string("USB write failed: ") + d2xx::status_name(status, spare));
            return false;
        }
        if (written == 0) {
            fail("USB write timed out: the adapter takes no more commands");
            return false;
        }
        done += written;
    }
    return true;
}

bool D2xxTransport::read(uint8_t* data, size_t length)
{
    CallLock hold(calls_);
    if (handle_ == nullptr) {
        fail("USB read: the device is not open");
        return false;
    }
    size_t got = 0;
    while (got < length) {
        // Each call waits at most the read timeout for all it asks; one that brings nothing
        // means the answers will not come.
        DWORD count = 0;
        char spare[24];
        const DWORD want = static_cast<DWORD>(std::min<size_t>(length - got, kTransferBytes));
        const d2xx::Status status = d2xx_->read(handle_, data + got, want, &count);
        if (status != d2xx::kOk) {
            fail(std::string("USB read failed: ") + d2xx::status_name(status, spare));
            return false;
        }
        got += std::min<DWORD>(count, want);
        if (count == 0) {
            fail(usb_read_timeout_text(got, length));
            return false;
        }
    }
    return true;
}

bool D2xxTransport::adapter_open()
{
    CallLock hold(calls_);
    return handle_ != nullptr;
}

void D2xxTransport::close()
{
    {
        CallLock hold(calls_);
        if (handle_ == nullptr)
            return;
        // Every pin an input again before the handle goes.
        d2xx_->set_bit_mode(handle_, 0, d2xx::kBitModeReset);
        d2xx_->close(handle_);
        handle_ = nullptr;
    }
    console_close_watch(nullptr);
    lock_.release();
}
