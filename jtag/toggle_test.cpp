// SPDX-License-Identifier: Apache-2.0
#include "jtag/toggle_test.h"

#include "jtag/tap_walker.h"

namespace {

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

void busy_wait(uint32_t count)
{
    volatile uint32_t left = count;
    while (left != 0)
        left = left - 1;
}

}  // namespace

Outcome toggle_test(JtagChain& chain, Host& host, char* image, uint32_t length, const TogglePlan& plan)
{
    if (plan.banner_only != nullptr) {
        host.report({.kind = EventKind::toggle_banner, .text = plan.banner_only});
        return outcome_of(Status::ok);
    }
    chain.park();
    chain.tap_reset();
    chain.scan_ir(4, kExtest);
    fill(image, plan.fixed_one, '1');
    fill(image, plan.fixed_zero, '0');
    host.report({.kind = EventKind::toggle_started});
    for (char value = '0';; value = inverted(value)) {
        if (host.stop_key())
            return outcome_of(Status::cancelled);
        if (const char* signal = host.interrupt_requested())
            return Outcome{.status = Status::interrupted, .detail = signal};
        write_toggled(image, plan, value);
        chain.scan_dr(image, length);
        // A probe on a pin must see every pass as it happens, also on a cable that queues.
        chain.flush();
        busy_wait(plan.wait_count);
    }
}
