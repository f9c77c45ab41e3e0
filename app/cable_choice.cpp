#include "app/cable_choice.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "app/exit.h"
#include "jtag/mpsse_cable.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

bool parse_hex16(std::string_view text, uint16_t& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size();
}

[[noreturn]] void refuse(const char* reason)
{
    con_printf("%s\n", reason);
    process_end(1);
}

}  // namespace

bool wants_usb_cable(const LongOptions& o, std::string& error)
{
    if (o.cable != nullptr && std::strcmp(o.cable, "ftdi") != 0 && std::strcmp(o.cable, "parport") != 0) {
        error =
            std::string("unknown --cable '") + o.cable + "' (ftdi for a USB adapter, parport for the parallel port)";
        return false;
    }
    const bool usb = o.cable != nullptr && std::strcmp(o.cable, "ftdi") == 0;
    if (!usb && (o.cable_id || o.cable_interface || o.cable_pins || o.tck_hz)) {
        error = "--cable-id, --cable-interface, --cable-pins and --tck-hz need --cable ftdi";
        return false;
    }
    return usb;
}

std::unique_ptr<Cable> open_usb_cable(const LongOptions& o)
{
    UsbDeviceChoice device;
    MpsseSettings settings;
    if (o.cable_id != nullptr) {
        const std::string_view id = o.cable_id;
        const size_t colon = id.find(':');
        if (colon == std::string_view::npos || !parse_hex16(id.substr(0, colon), device.vendor) ||
            !parse_hex16(id.substr(colon + 1), device.product))
            refuse("bad --cable-id (VID:PID in hexadecimal, as 0403:6010)");
    }
    if (o.cable_interface != nullptr) {
        if (std::strcmp(o.cable_interface, "A") != 0 && std::strcmp(o.cable_interface, "B") != 0)
            refuse("bad --cable-interface (A or B)");
        device.interface = o.cable_interface[0];
    }
    if (o.cable_pins != nullptr)
        if (const char* reason = mpsse_parse_pins(o.cable_pins, settings))
            refuse(reason);
    if (o.tck_hz != nullptr) {
        const std::string_view text = o.tck_hz;
        uint32_t hz = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), hz);
        if (text.empty() || error != std::errc{} || end != text.data() + text.size() || hz == 0)
            refuse("bad --tck-hz (a frequency in Hz, as 6000000)");
        settings.tck_hz = hz;
    }
    UsbTransport* usb = platform().usb_transport();
    if (usb == nullptr)
        refuse("This build has no USB cable: it was built without libftdi1");
    auto cable = std::make_unique<MpsseCable>(*usb, settings);
    if (const char* reason = cable->open(device))
        refuse(reason);
    // Above the chip's maximum the clock would quietly run at the maximum instead.
    if (settings.tck_hz > cable->max_tck_hz()) {
        con_printf("--tck-hz %u is above the adapter's maximum, %u Hz\n", static_cast<unsigned>(settings.tck_hz),
                   static_cast<unsigned>(cable->max_tck_hz()));
        process_end(1);
    }
    return cable;
}
