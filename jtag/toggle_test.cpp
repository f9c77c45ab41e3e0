// SPDX-License-Identifier: Apache-2.0
#include "jtag/toggle_test.h"

#include "jtag/tap.h"
#include "platform/console.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace {

constexpr int kEsc = 27;

void fill(char* image, std::span<const CellSpan> spans, char level)
{
    for (const CellSpan& span : spans)
        for (unsigned cell = span.first; cell <= span.last; cell += span.step)
            image[cell] = level;
}

char inverted(char level) { return level == '0' ? '1' : '0'; }

void write_toggled(char* image, const TogglePlan& plan, char value)
{
    char level = value;
    for (const CellSpan& span : plan.toggled)
        for (unsigned cell = span.first; cell <= span.last; cell += span.step) {
            image[cell] = level;
            if (plan.alternate)
                level = inverted(level);
        }
    // A visiting order may pass over fixed '1' cells: put them back.
    fill(image, plan.fixed_one, '1');
}

// ESC ends the test; any other key is dropped. With no input left, ESC can never come, so
// that ends the test too.
bool escape_pressed()
{
    Platform& console = platform();
    if (console.key_available())
        return console.key_read() == kEsc;
    return console.keys_ended();
}

void busy_wait(uint32_t count)
{
    volatile uint32_t left = count;
    while (left != 0)
        left = left - 1;
}

}  // namespace

ToggleEnd toggle_test(Cable& cable, char* image, uint32_t length, const TogglePlan& plan)
{
    if (plan.banner_only != nullptr) {
        con_printf("%s", plan.banner_only);
        return ToggleEnd::banner_only;
    }
    cable_park(cable);
    tap_reset(cable);
    jtag_scan_ir(cable, 4, kExtest);
    fill(image, plan.fixed_one, '1');
    fill(image, plan.fixed_zero, '0');
    con_printf("\nOutput toggled value to all pin\n Enter ESC to EXIT\n");
    for (char value = '0';; value = inverted(value)) {
        if (escape_pressed())
            return ToggleEnd::escape;
        if (interrupt_requested() != nullptr)
            return ToggleEnd::interrupted;
        write_toggled(image, plan, value);
        jtag_scan_dr(cable, image, length);
        // A probe on a pin must see every pass as it happens, also on a cable that queues.
        cable.flush();
        busy_wait(plan.wait_count);
    }
}
