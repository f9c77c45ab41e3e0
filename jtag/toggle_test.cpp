#include "jtag/toggle_test.h"

#include <cstdint>
#include <span>

#include "app/exit.h"
#include "jtag/lpt_cable.h"
#include "jtag/tap.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "targets/cpu_table.h"

namespace {

// Cells first, first + step, ... up to last.
struct CellSpan {
    uint16_t first;
    uint16_t last;
    uint16_t step;
};

constexpr CellSpan one(uint16_t cell) { return {cell, cell, 1}; }
constexpr CellSpan range(uint16_t first, uint16_t last) { return {first, last, 1}; }
constexpr CellSpan every2(uint16_t first, uint16_t last) { return {first, last, 2}; }

struct ToggleCpu {
    std::span<const CellSpan> toggled;
    std::span<const CellSpan> fixed_one;
    std::span<const CellSpan> fixed_zero;
    bool alternate;  // neighbours in the toggled order take opposite values
    uint32_t wait_count;
};

constexpr CellSpan kKtr5200Toggled[] = {
    range(1, 7),     every2(8, 76),    one(78),         one(79),         range(81, 95),    every2(96, 114),
    one(129),        one(133),         one(135),        range(137, 142), range(144, 158),  every2(159, 225),
    range(227, 236), every2(237, 245), range(246, 255), range(257, 265), every2(266, 296),
};
constexpr CellSpan kKtr5200One[] = {every2(116, 126), range(127, 128), one(131)};
constexpr CellSpan kKtr5200Zero[] = {
    every2(9, 77),    one(80),          every2(97, 125), every2(130, 136), one(143),
    every2(160, 226), every2(238, 244), one(256),        every2(267, 297),
};

constexpr CellSpan kUlnVisited[] = {range(0, 16), every2(17, 41), range(43, 48), every2(49, 183)};
constexpr CellSpan kUlnOne[] = {every2(51, 59), every2(39, 41)};
constexpr CellSpan kUlnZero[] = {every2(18, 42), every2(50, 184)};

constexpr CellSpan kMirtaToggled[] = {
    range(1, 2),     every2(4, 10),    range(11, 57),   range(59, 60),   range(62, 63),    every2(64, 80),
    every2(84, 148), every2(152, 168), range(170, 171), one(173),        range(175, 176),  every2(187, 221),
    range(223, 239), every2(240, 254), range(256, 260), range(262, 264), every2(265, 295),
};
constexpr CellSpan kMirtaOne[] = {
    every2(3, 9), one(58),         one(61),          every2(65, 169),  one(82),  one(150),         one(172),
    one(174),     range(177, 185), every2(188, 222), every2(241, 255), one(261), every2(266, 296),
};

constexpr ToggleCpu kKtr5200 = {kKtr5200Toggled, kKtr5200One, kKtr5200Zero, false, 65536};
constexpr ToggleCpu kUln = {kUlnVisited, kUlnOne, kUlnZero, true, 8192};
constexpr ToggleCpu kMirta = {kMirtaToggled, kMirtaOne, {}, false, 65536};

constexpr int kEsc = 27;

void fill(char* image, std::span<const CellSpan> spans, char level)
{
    for (const CellSpan& span : spans)
        for (unsigned cell = span.first; cell <= span.last; cell += span.step)
            image[cell] = level;
}

char inverted(char level) { return level == '0' ? '1' : '0'; }

void write_toggled(char* image, const ToggleCpu& cpu, char value)
{
    char level = value;
    for (const CellSpan& span : cpu.toggled)
        for (unsigned cell = span.first; cell <= span.last; cell += span.step) {
            image[cell] = level;
            if (cpu.alternate)
                level = inverted(level);
        }
    // ULN's visiting order passes over some of its fixed '1' cells: put them back.
    fill(image, cpu.fixed_one, '1');
}

// Ends the process on ESC; any other key is dropped. With no input left, ESC can never
// come, so that ends the test too.
void end_on_escape()
{
    Platform& console = platform();
    if (console.key_available()) {
        if (console.key_read() == kEsc)
            process_end(0);
    } else if (console.keys_ended()) {
        process_end(0);
    }
}

void busy_wait(uint32_t count)
{
    volatile uint32_t left = count;
    while (left != 0)
        left = left - 1;
}

[[noreturn]] void toggle_loop(char* image, const ToggleCpu& cpu)
{
    cable_park();
    tap_reset();
    jtag_scan_ir(4, kExtest);
    fill(image, cpu.fixed_one, '1');
    fill(image, cpu.fixed_zero, '0');
    con_printf("\nOutput toggled value to all pin\n Enter ESC to EXIT\n");
    const uint32_t length = static_cast<uint32_t>(g_target.bsr_length);
    for (char value = '0';; value = inverted(value)) {
        end_on_escape();
        write_toggled(image, cpu, value);
        jtag_scan_dr(image, length);
        busy_wait(cpu.wait_count);
    }
}

}  // namespace

void ktr5200_toggle_test(char* image, int /*mode*/) { toggle_loop(image, kKtr5200); }

void uln_toggle_test(char* image, int /*mode*/) { toggle_loop(image, kUln); }

void mirta_toggle_test(char* image, int /*mode*/) { toggle_loop(image, kMirta); }

void paxon_toggle_test(char* /*image*/, int /*mode*/) { con_printf("PAXON BOUNDARY TEST\n"); }
