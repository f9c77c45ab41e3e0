// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/gpiod_lines.h"

#include <cerrno>
#include <cstring>

#include <gpiod.h>

struct GpiodLines::Held {
    gpiod_chip* chip = nullptr;
    gpiod_line_bulk jtag{};  // TCK, TMS, TDI, set together
    gpiod_line* tdo = nullptr;
    gpiod_line* resets[2] = {};  // nTRST, nSRST where wired
};

GpiodLines::GpiodLines() : held_(std::make_unique<Held>()) {}

GpiodLines::~GpiodLines() { close(); }

const char* GpiodLines::fail(std::string text)
{
    error_ = std::move(text);
    return error_.c_str();
}

const char* GpiodLines::open(const std::string& chip, const GpioPins& pins)
{
    close();
    Held& h = *held_;
    errno = 0;
    h.chip = gpiod_chip_open_lookup(chip.c_str());
    if (h.chip == nullptr) {
        if (errno == EACCES || errno == EPERM)
            return fail("permission denied on GPIO chip '" + chip +
                        "': join the group that owns /dev/gpiochipN (gpio on most distributions)");
        return fail(gpio_no_chip_text(chip, std::strerror(errno != 0 ? errno : ENOENT)));
    }
    const unsigned lines = gpiod_chip_num_lines(h.chip);
    const struct {
        const char* role;
        int32_t offset;
    } wanted[] = {{"tck", pins.tck}, {"tms", pins.tms},   {"tdi", pins.tdi},
                  {"tdo", pins.tdo}, {"trst", pins.trst}, {"srst", pins.srst}};
    gpiod_line* found[6] = {};
    for (size_t i = 0; i < 6; ++i) {
        const auto& w = wanted[i];
        if (w.offset < 0)
            continue;
        if (static_cast<unsigned>(w.offset) >= lines) {
            std::string reason = gpio_no_line_text(chip, w.role, w.offset, lines);
            close();
            return fail(reason);
        }
        found[i] = gpiod_chip_get_line(h.chip, static_cast<unsigned>(w.offset));
        // The kernel says who holds a line; a request of it would only say EBUSY.
        if (found[i] == nullptr || gpiod_line_is_used(found[i])) {
            const char* holder = found[i] != nullptr ? gpiod_line_consumer(found[i]) : nullptr;
            std::string reason = gpio_busy_text(chip, w.role, w.offset, holder != nullptr ? holder : "");
            close();
            return fail(reason);
        }
    }
    gpiod_line_bulk_init(&h.jtag);
    for (size_t i = 0; i < 3; ++i)
        gpiod_line_bulk_add(&h.jtag, found[i]);
    const int low[3] = {0, 0, 0};
    int failed = gpiod_line_request_bulk_output(&h.jtag, kConsumer, low);
    if (failed != 0)
        gpiod_line_bulk_init(&h.jtag);  // nothing of it was requested
    else if ((failed = gpiod_line_request_input(found[3], kConsumer)) == 0)
        h.tdo = found[3];
    for (size_t i = 4; i < 6 && failed == 0; ++i)
        if (found[i] != nullptr && (failed = gpiod_line_request_output(found[i], kConsumer, 1)) == 0)
            h.resets[i - 4] = found[i];
    if (failed != 0) {
        std::string reason = "cannot request the GPIO lines on " + chip + ": " + std::strerror(errno);
        close();
        return fail(reason);
    }
    return nullptr;
}

bool GpiodLines::set_jtag(uint8_t levels)
{
    const int values[3] = {(levels & kTck) != 0, (levels & kTms) != 0, (levels & kTdi) != 0};
    if (held_->tdo == nullptr || gpiod_line_set_value_bulk(&held_->jtag, values) != 0) {
        fail(std::string("GPIO set failed: ") + std::strerror(errno));
        return false;
    }
    return true;
}

int GpiodLines::tdo()
{
    const int value = held_->tdo != nullptr ? gpiod_line_get_value(held_->tdo) : -1;
    if (value < 0)
        fail(std::string("GPIO read of TDO failed: ") + std::strerror(errno));
    return value;
}

void GpiodLines::close()
{
    Held& h = *held_;
    if (h.chip == nullptr)
        return;
    if (gpiod_line_bulk_num_lines(&h.jtag) != 0)
        gpiod_line_release_bulk(&h.jtag);
    for (gpiod_line* line : {h.tdo, h.resets[0], h.resets[1]})
        if (line != nullptr)
            gpiod_line_release(line);
    gpiod_chip_close(h.chip);
    h = Held{};
}
