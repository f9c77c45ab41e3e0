#include "app/run_programming.h"

#include <cstring>

#include "app/console_answer.h"
#include "app/exit.h"
#include "app/image_file.h"
#include "app/options.h"
#include "flash/flash_bus.h"
#include "flash/flash_geometry.h"
#include "flash/flash_model.h"
#include "flash/flash_ops.h"
#include "jtag/chain_check.h"
#include "jtag/tap.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "targets/bus_cycles.h"
#include "targets/cpu_table.h"

namespace {

// The model menu, in the order printed; line n selects kModelNames[n - 1].
constexpr const char* kModelNames[] = {
    "S29AL008D", "S29AL004D", "EN29LV040A", "AM29LV040B", "S29GL064M", "K8D6316", "S29GL128N", "SST39VF6401",
};
constexpr int kModelCount = sizeof kModelNames / sizeof kModelNames[0];
// No menu line carries this number; it stays when the answer is not a number.
constexpr int32_t kNoModel = 10;

// Only these two are programmed through the write buffer.
constexpr const char* kBufferedModels[] = {"S29GL064M", "S29GL128N"};

int64_t run_start_seconds = 0;

bool ask_flash_model()
{
    char answer[4];
    con_printf("\nSelect your flash model name !\n");
    con_printf("To exit, Enter 'q'\n\n");
    for (int i = 0; i < kModelCount; ++i)
        con_printf("[%d] : %s\n", i + 1, kModelNames[i]);
    read_answer(answer, 1);
    if (answer[0] == 'q' || answer[0] == 'Q')
        process_end(1);

    int32_t number = kNoModel;
    parse_number(answer, &number);
    if (number < 1 || number > kModelCount) {
        con_printf("Not Yet support your flash type\n");
        return false;
    }
    std::strncpy(g_options.flash_model, kModelNames[number - 1], sizeof g_options.flash_model - 1);
    g_options.flash_model[sizeof g_options.flash_model - 1] = '\0';
    con_printf("\n");
    return true;
}

bool ask_bus_width()
{
    char answer[4];
    con_printf("\nEnter flash Bus width [8 or 16] ? ");
    read_answer(answer, 2);
    parse_number(answer, &g_options.bus_width);
    con_printf("\n");
    return g_options.bus_width == 8 || g_options.bus_width == 16;
}

bool ask_interleave()
{
    char answer[4];
    con_printf("Enter flash interface number [1 or 2] ? ");
    read_answer(answer, 1);
    parse_number(answer, &g_options.interleave);
    con_printf("\n\n");
    return g_options.interleave == 1 || g_options.interleave == 2;
}

bool device_id_is_builtin()
{
    const FlashModel& m = g_flash_model;
    const uint32_t id = g_flash_id.device_id;
    // A slot the model leaves at 0 still takes part, so a device code of 0 matches it.
    return id == m.dev_lv040 || id == m.dev_s29al008d_top || id == m.dev_s29al008d_bottom ||
           id == m.dev_s29al004d_top || id == m.dev_s29al004d_bottom;
}

// The start address must sit on the start of its erase block. An address outside the
// block table has no block to sit on, so it counts as misaligned.
bool start_is_aligned(uint32_t start)
{
    for (int b = 0; b < g_geometry.block_count; ++b) {
        const uint32_t unit = g_geometry.block_size[b];
        if (start - g_geometry.block_start[b] >= unit)
            continue;
        if (unit == 0 || (unit & (unit - 1)) != 0)
            return start == g_geometry.block_start[b];
        return (start & (unit - 1)) == 0;
    }
    return false;
}

bool is_buffered_model(const char* name)
{
    for (const char* buffered : kBufferedModels)
        if (std::strcmp(name, buffered) == 0)
            return true;
    return false;
}

// Erases the requested range; false ends the run.
bool erase_range()
{
    char* image = g_target.bsr_image;
    const uint32_t start = g_options.start_offset;
    if (g_options.erase_size == g_geometry.device_size && g_geometry.chip_erase_timeout_ms != 0) {
        con_printf("\nFlash erasing all ...., Start: 0x%08X\n", start);
        return flash_erase_chip(image, start) == 0;
    }
    return flash_erase_blocks(image, start, g_options.erase_size) >= 0;
}

}  // namespace

uint32_t block_offset(int32_t index)
{
    if (index < 0 || index > g_geometry.block_count)
        return 0;
    return g_geometry.block_start[index] - g_geometry.block_start[0];
}

int run_programming()
{
    char* image = g_target.bsr_image;
    uint32_t write_length = 0;

    // Refused before any JTAG traffic: the address alone shows that no flash can answer there.
    g_target.ncs_cell = cpu_ncs_cell(g_options.start_offset);
    if (g_target.ncs_cell == kNoNcsCell) {
        con_printf("No chip select for address 0x%08X on this CPU\n", g_options.start_offset);
        return -1;
    }
    g_flash_id.maker_id = 0;
    run_start_seconds = platform().time_seconds();

    if (chain_check_idcode() != 0) {
        con_printf("Fail, Read JTAG ID\n");
        quit(1);
    }

    if (g_options.flash_model[0] == '\0' && !ask_flash_model())
        return -1;
    if (g_options.bus_width == 0 && !ask_bus_width())
        return -1;
    if (g_options.interleave == 0 && !ask_interleave())
        return -1;

    jtag_scan_ir(4, kExtest);

    if (flash_setup_model() != 0) {
        con_printf("Cannot support flash programming for your flash setting\n");
        return -1;
    }

    const int id_result =
        flash_read_id(image, g_options.start_offset, g_flash_model.maker_id_offset, g_flash_model.device_id_offset);
    if (id_result != 0) {
        con_printf("Cannot read flash ID or Unknow flash\n");
        con_printf("Your flash, Maker ID = 0x%04X, Device ID = 0x%04X\n", g_flash_id.maker_id, g_flash_id.device_id);
        return -1;
    }
    con_printf("Maker ID = 0x%04X, Device ID = 0x%04X\n", g_flash_id.maker_id, g_flash_id.device_id);

    const int geometry_result = device_id_is_builtin()
                                    ? flash_builtin_geometry(g_options.start_offset, g_options.interleave)
                                    : flash_query_cfi(image, g_options.start_offset);
    if (geometry_result != 0) {
        con_printf("Not defined FLASH Qeury INFO\n");
        return -1;
    }

    if (!start_is_aligned(g_options.start_offset)) {
        con_printf("Not alignd writing address\n");
        return -1;
    }

    // Identification left the flash in autoselect mode.
    flash_reset_cycle(image, g_options.start_offset);

    g_options.start_offset += block_offset(g_options.block_index);

    if (g_options.image_path != nullptr && check_image_file(&write_length) < 0)
        quit(1);

    if (g_options.erase_size == 0)
        g_options.erase_size = write_length;
    if (g_options.erase_all)
        g_options.erase_size = g_geometry.device_size;
    if (g_options.erase_size == 0)
        fail_exit("Error, not specify erase size\n");

    if (!erase_range())
        return -1;

    if (g_options.image_path == nullptr) {
        con_printf("\nFlash erasing & Verifying OK\n");
        quit(0);
    }

    const int status = is_buffered_model(g_options.flash_model)
                           ? flash_program_buffered(image, g_options.start_offset, write_length)
                           : flash_program(image, g_options.start_offset, write_length);
    if (status != 0)
        return -1;
    con_printf("\nFlash writing & verifying OK\n\n");
    return 0;
}

void programming_mode()
{
    if (run_programming() != 0)
        return;
    const int64_t elapsed = platform().time_seconds() - run_start_seconds;
    con_printf("\nWrite elapsed time:  %d[min] %d[sec]\n", static_cast<int>(elapsed / 60),
               static_cast<int>(elapsed % 60));
}
