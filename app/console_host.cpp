// SPDX-License-Identifier: Apache-2.0
#include "app/console_host.h"

#include "platform/console.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace {

constexpr int kEsc = 27;

// 32 bits, most significant first, as '0'/'1' characters.
void print_id(const char* label, uint32_t id)
{
    char bits[33];
    for (int i = 0; i < 32; ++i)
        bits[i] = (id >> (31 - i)) & 1 ? '1' : '0';
    bits[32] = '\0';
    con_printf("\n%s JTAG ID:   %s\n", label, bits);
}

}  // namespace

void ConsoleHost::report(const EngineEvent& event)
{
    const int block = static_cast<int>(event.block);
    switch (event.kind) {
    case EventKind::idcode_matched:
        print_id("OK!,", event.actual);
        break;
    case EventKind::idcode_mismatched:
        print_id("Your", event.actual);
        break;
    case EventKind::toggle_banner:
        con_printf("%s", event.text);
        break;
    case EventKind::toggle_started:
        con_printf("\nOutput toggled value to all pin\n Enter ESC to EXIT\n");
        break;
    case EventKind::progress:
        progress_.set_label(event.text);
        if (event.finished)
            progress_.finish(event.count, event.total);
        else
            progress_.update(event.count, event.total);
        break;
    // flash
    case EventKind::erase_started:
        con_printf("\nFlash erasing ...., Start: 0x%08X, Size: 0x%X\n", event.address, event.count);
        break;
    case EventKind::program_started:
        con_printf("\nWriting address: 0x%x\n", event.address);
        break;
    case EventKind::read_started:
        con_printf("\nReading address: 0x%x\n", event.address);
        break;
    case EventKind::verify_started:
        con_printf("\nVerifying address: 0x%x\n", event.address);
        break;
    case EventKind::blank_check_started:
        con_printf("\nChecking erased words: 0x%08X to 0x%08X\n", event.address, event.address + event.total - 1);
        break;
    case EventKind::erase_start_unaligned:
        con_printf("Erasing start address is not on sector boundary\n");
        break;
    case EventKind::erase_blocks_needed:
        con_printf("Flash needs %d Blocks\n", static_cast<int>(event.count));
        break;
    case EventKind::block_erasing:
        // Three to a linevent.
        con_printf("%4dth Block, 0x%08X ", block + 1, event.address);
        if (event.count % 3 == 0)
            con_printf("\n");
        break;
    case EventKind::chip_erased:
        con_printf("Erasing ALL\n");
        break;
    case EventKind::erase_error:
        con_printf("\nErase Error, ADDR  0x%08x\n", event.address);
        break;
    case EventKind::block_erase_not_done:
        con_printf("Block %d (-b %d) at 0x%08X never reported its erase done\n", block, block, event.address);
        break;
    case EventKind::block_not_blank:
        con_printf("Block %d (-b %d) at 0x%08X is not blank after its erase: 0x%08X reads 0x%X\n", block, block,
                   event.address, event.address + event.count, event.actual);
        break;
    case EventKind::program_error:
        con_printf("\nProgram Error, ADDR: 0x%X\n", event.address);
        break;
    case EventKind::unlock_error:
        con_printf("\nUnlock Error, ADDR  0x%08x\n", event.address);
        break;
    case EventKind::status_register:
        con_printf("Status register 0x%02X: %s\n", event.actual, event.text);
        break;
    case EventKind::program_mismatch:
        con_printf("\nProgram Error, Write: 0x%X, Read: 0x%X\n", event.expected, event.actual);
        break;
    case EventKind::verify_mismatch:
        con_printf("\nVerify error at 0x%08X: flash 0x%X, file 0x%X\n", event.address, event.actual, event.expected);
        break;
    case EventKind::words_differ:
        con_printf("%u of %u words differ\n", event.count, event.total);
        break;
    case EventKind::word_not_blank:
        con_printf("\nErase check error at 0x%08X: flash 0x%X\n", event.address, event.actual);
        break;
    case EventKind::words_not_blank:
        con_printf("%u of %u erased words are not blank\n", event.count, event.total);
        break;
    case EventKind::block_protected:
        con_printf("Block %d at 0x%08X is protected: refused before any erase\n", block, event.address);
        break;
    case EventKind::block_locked:
        con_printf("Block %d at 0x%08X is locked: refused before any erase (--unlock unlocks the range)\n", block,
                   event.address);
        break;
    case EventKind::block_locked_down:
        con_printf("Block %d at 0x%08X is locked down: refused before any erase (only a reset lifts it)\n", block,
                   event.address);
        break;
    case EventKind::block_locked_unlock_all:
        con_printf(
            "Block %d at 0x%08X is locked, and an unlock on this chip unlocks every block: give "
            "--unlock-all, or the whole device as the range\n",
            block, event.address);
        break;
    case EventKind::device_unlocked:
        con_printf("Unlocked every block of the device\n");
        break;
    case EventKind::blocks_unlocked:
        con_printf("Unlocked %d block%s from 0x%08X to 0x%08X\n", static_cast<int>(event.count),
                   event.count == 1 ? "" : "s", event.address, event.address + event.total - 1);
        break;
    case EventKind::device_id_unknown:
        con_printf("Not defined DEVICE ID\n");
        break;
    case EventKind::typical_word_write:
        con_printf("Typical timeout for word write:   %d[us]\n", static_cast<int>(event.count));
        break;
    case EventKind::typical_buffer_write:
        con_printf("Typical timeout for buffer write: %d[us]\n", static_cast<int>(event.count));
        break;
    case EventKind::typical_block_erase:
        con_printf("Typical timeout for block erase:  %d[ms]\n", static_cast<int>(event.count));
        break;
    case EventKind::typical_chip_erase:
        con_printf("Typical timeout for chip erase:   %d[ms]\n", static_cast<int>(event.count));
        break;
    case EventKind::erase_region:
        con_printf("Block region #%d   block numbers : %3d, size: %d[KB]\n", block, static_cast<int>(event.count),
                   static_cast<int>(event.total / 1024));
        break;
    case EventKind::too_many_blocks:
        con_printf("Error, MAX BLOCK NUMBER is overflow, blocknum: %d\n", static_cast<int>(event.count));
        break;
    case EventKind::device_size:
        con_printf("Device size: %d[KBytes]\n", static_cast<int>(event.total / 1024));
        break;
    case EventKind::no_cfi_table:
        con_printf("Cannot read QRY info.\n");
        break;
    case EventKind::cfi_size_out_of_range:
        con_printf("Error, CFI device size out of range\n");
        break;
    case EventKind::cfi_no_regions:
        con_printf("Error, The number of Erase Regions is ZERO\n");
        break;
    case EventKind::cfi_too_many_regions:
        con_printf("Error, Max eraseregion is %d\n", static_cast<int>(event.count));
        break;
    case EventKind::cfi_regions_mismatch:
        con_printf("Error, Erase regions do not match device size\n");
        break;
    }
}

bool ConsoleHost::stop_key()
{
    Platform& console = platform();
    if (console.key_available())
        return console.key_read() == kEsc;
    return input_end_stops_ && console.keys_ended();
}

const char* ConsoleHost::interrupt_requested() { return ::interrupt_requested(); }

uint64_t ConsoleHost::monotonic_ns() { return platform().monotonic_ns(); }
