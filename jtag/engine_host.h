// SPDX-License-Identifier: Apache-2.0
// What the engine (jtag/, targets/, flash/, job/) needs from whoever drives it: somewhere to report
// what happens, whether to stop, the clock, and the answers a job may need. The engine never prints and never reads keys;
// the front end turns events into words, and a production station or a test can do otherwise.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarnflash {

// Every layer of the engine adds its own kinds here; the front end words them.
enum class EventKind : uint16_t {
    // A long job's progress: `count` of `total` bytes (`finished` once the job is done).
    progress,
    // jtag
    idcode_matched,     // the identification register read (`actual`) is the one expected
    idcode_mismatched,  // it is not (`actual`, `expected` with the don't-care bits as 0)
    toggle_banner,      // a CPU without a toggle loop: `text` says so
    toggle_started,     // the toggle loop runs until the stop key
    // flash
    // A stage begins at `address`: erase (`count` bytes), program, read, verify; a blank
    // check over `total` bytes.
    erase_started,
    program_started,
    read_started,
    verify_started,
    blank_check_started,
    erase_start_unaligned,  // the erase's start is no block's start
    erase_blocks_needed,    // `count` blocks
    block_erasing,          // `block` at `address`, the `count`th of the job
    chip_erased,
    erase_error,           // the erase of the block (or chip) at `address` failed
    block_erase_not_done,  // `block` at `address` never reported done
    // `block` at `address` reads `actual` at `count` bytes into it, not the erased `expected`.
    block_not_blank,
    program_error,            // the write buffer or word at `address` failed or never finished
    unlock_error,             // the unlock at `address` failed
    status_register,          // the chip's status `actual` says why: `text`
    program_mismatch,         // `address` reads `actual` where `expected` was written
    verify_mismatch,          // `address` reads `actual` where the file has `expected`
    words_differ,             // `count` of `total` words differ
    word_not_blank,           // `address` reads `actual` where erased was wanted
    words_not_blank,          // `count` of `total` words are not erased
    block_protected,          // `block` at `address` is protected
    block_locked,             // `block` at `address` is locked
    block_locked_down,        // `block` at `address` is locked down
    block_locked_unlock_all,  // `block` at `address` is locked, and an unlock frees every block
    device_unlocked,          // every block of the device was unlocked
    blocks_unlocked,          // `count` blocks in the `total` bytes from `address`
    device_id_unknown,        // no built-in geometry for the device code
    typical_word_write,       // `count` us
    typical_buffer_write,     // `count` us
    typical_block_erase,      // `count` ms
    typical_chip_erase,       // `count` ms
    erase_region,             // region `block`: `count` blocks of `total` bytes
    too_many_blocks,          // `count` blocks do not fit the block table
    device_size,              // `total` bytes
    no_cfi_table,             // the query did not read "QRY"
    cfi_size_out_of_range,
    cfi_no_regions,
    cfi_too_many_regions,  // more than `count`
    cfi_regions_mismatch,  // the regions do not add up to the device size
};

// One thing the engine tells its host. Which fields mean something depends on the kind; `text`
// (a name or a reason) is valid only during the call.
struct Event {
    EventKind kind;
    uint32_t address = 0;
    uint32_t expected = 0;  // what was written or wanted
    uint32_t actual = 0;    // what was read
    uint32_t count = 0;
    uint32_t total = 0;
    int32_t block = -1;
    bool finished = false;
    const char* text = nullptr;
};

class Host {
public:
    virtual ~Host() = default;
    virtual void report(const Event& event) = 0;
    // Consumes a waiting key, if any; true when it was the key that stops a job (ESC).
    virtual bool stop_key() = 0;
    // The name of an interrupt that asks the job to stop ("SIGINT", ...), or nullptr.
    virtual const char* interrupt_requested() = 0;
    // Time for bounds and rates: never jumps (virtual time under the simulator).
    virtual uint64_t monotonic_ns() = 0;

    // What a job asks when its set-up leaves it open. An empty name or a 0 means that this host
    // cannot answer: the job ends refused, saying which answer was missing.
    virtual std::string flash_model(std::span<const char* const> /*models*/) { return {}; }
    virtual int bus_width() { return 0; }   // 8 or 16
    virtual int interleave() { return 0; }  // 1 or 2 chips side by side
};

}  // namespace tarnflash
