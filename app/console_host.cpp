// SPDX-License-Identifier: Apache-2.0
#include "app/console_host.h"

#include "platform/console.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace {

constexpr int kKeyEsc = 27;

}  // namespace

void ConsoleHost::report(const EngineEvent& e)
{
    const int block = static_cast<int>(e.block);
    switch (e.kind) {
    case EventKind::progress:
        progress_.set_label(e.text);
        if (e.finished)
            progress_.finish(e.count, e.total);
        else
            progress_.update(e.count, e.total);
        break;
    // flash
    case EventKind::erase_started:
        con_printf("\nFlash erasing ...., Start: 0x%08X, Size: 0x%X\n", e.address, e.count);
        break;
    case EventKind::program_started:
        con_printf("\nWriting address: 0x%x\n", e.address);
        break;
    case EventKind::read_started:
        con_printf("\nReading address: 0x%x\n", e.address);
        break;
    case EventKind::verify_started:
        con_printf("\nVerifying address: 0x%x\n", e.address);
        break;
    case EventKind::blank_check_started:
        con_printf("\nChecking erased words: 0x%08X to 0x%08X\n", e.address, e.address + e.total - 1);
        break;
    case EventKind::erase_start_unaligned:
        con_printf("Erasing start address is not on sector boundary\n");
        break;
    case EventKind::erase_blocks_needed:
        con_printf("Flash needs %d Blocks\n", static_cast<int>(e.count));
        break;
    case EventKind::block_erasing:
        // Three to a line.
        con_printf("%4dth Block, 0x%08X ", block + 1, e.address);
        if (e.count % 3 == 0)
            con_printf("\n");
        break;
    case EventKind::chip_erased:
        con_printf("Erasing ALL\n");
        break;
    case EventKind::erase_error:
        con_printf("\nErase Error, ADDR  0x%08x\n", e.address);
        break;
    case EventKind::block_erase_not_done:
        con_printf("Block %d (-b %d) at 0x%08X never reported its erase done\n", block, block, e.address);
        break;
    case EventKind::block_not_blank:
        con_printf("Block %d (-b %d) at 0x%08X is not blank after its erase: 0x%08X reads 0x%X\n", block, block,
                   e.address, e.address + e.count, e.actual);
        break;
    case EventKind::program_error:
        con_printf("\nProgram Error, ADDR: 0x%X\n", e.address);
        break;
    case EventKind::unlock_error:
        con_printf("\nUnlock Error, ADDR  0x%08x\n", e.address);
        break;
    case EventKind::status_register:
        con_printf("Status register 0x%02X: %s\n", e.actual, e.text);
        break;
    case EventKind::program_mismatch:
        con_printf("\nProgram Error, Write: 0x%X, Read: 0x%X\n", e.expected, e.actual);
        break;
    case EventKind::verify_mismatch:
        con_printf("\nVerify error at 0x%08X: flash 0x%X, file 0x%X\n", e.address, e.actual, e.expected);
        break;
    case EventKind::words_differ:
        con_printf("%u of %u words differ\n", e.count, e.total);
        break;
    case EventKind::word_not_blank:
        con_printf("\nErase check error at 0x%08X: flash 0x%X\n", e.address, e.actual);
        break;
    case EventKind::words_not_blank:
        con_printf("%u of %u erased words are not blank\n", e.count, e.total);
        break;
    case EventKind::block_protected:
        con_printf("Block %d at 0x%08X is protected: refused before any erase\n", block, e.address);
        break;
    case EventKind::block_locked:
        con_printf("Block %d at 0x%08X is locked: refused before any erase (--unlock unlocks the range)\n", block,
                   e.address);
        break;
    case EventKind::block_locked_down:
        con_printf("Block %d at 0x%08X is locked down: refused before any erase (only a reset lifts it)\n", block,
                   e.address);
        break;
    case EventKind::block_locked_unlock_all:
        con_printf(
            "Block %d at 0x%08X is locked, and an unlock on this chip unlocks every block: give "
            "--unlock-all, or the whole device as the range\n",
            block, e.address);
        break;
    case EventKind::device_unlocked:
        con_printf("Unlocked every block of the device\n");
        break;
    case EventKind::blocks_unlocked:
        con_printf("Unlocked %d block%s from 0x%08X to 0x%08X\n", static_cast<int>(e.count), e.count == 1 ? "" : "s",
                   e.address, e.address + e.total - 1);
        break;
    case EventKind::device_id_unknown:
        con_printf("Not defined DEVICE ID\n");
        break;
    case EventKind::typical_word_write:
        con_printf("Typical timeout for word write:   %d[us]\n", static_cast<int>(e.count));
        break;
    case EventKind::typical_buffer_write:
        con_printf("Typical timeout for buffer write: %d[us]\n", static_cast<int>(e.count));
        break;
    case EventKind::typical_block_erase:
        con_printf("Typical timeout for block erase:  %d[ms]\n", static_cast<int>(e.count));
        break;
    case EventKind::typical_chip_erase:
        con_printf("Typical timeout for chip erase:   %d[ms]\n", static_cast<int>(e.count));
        break;
    case EventKind::erase_region:
        con_printf("Block region #%d   block numbers : %3d, size: %d[KB]\n", block, static_cast<int>(e.count),
                   static_cast<int>(e.total / 1024));
        break;
    case EventKind::too_many_blocks:
        con_printf("Error, MAX BLOCK NUMBER is overflow, blocknum: %d\n", static_cast<int>(e.count));
        break;
    case EventKind::device_size:
        con_printf("Device size: %d[KBytes]\n", static_cast<int>(e.total / 1024));
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
        con_printf("Error, Max eraseregion is %d\n", static_cast<int>(e.count));
        break;
    case EventKind::cfi_regions_mismatch:
        con_printf("Error, Erase regions do not match device size\n");
        break;
    }
}

bool ConsoleHost::stop_key()
{
    Platform& console = platform();
    return console.key_available() && console.key_read() == kKeyEsc;
}

const char* ConsoleHost::interrupt_requested() { return ::interrupt_requested(); }

uint64_t ConsoleHost::monotonic_ns() { return platform().monotonic_ns(); }
