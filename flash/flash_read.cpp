// SPDX-License-Identifier: Apache-2.0
// Reading the flash back: into memory (a backup), or against a file (a verify).
#include <cstdint>
#include <vector>

#include "flash/flash_erase_check.h"
#include "flash/flash_keys.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"
#include "platform/console.h"

namespace {

// Words per pipelined run: long enough that the two extra scans of a run cost little, short
// enough that ESC and the progress line come often.
constexpr uint32_t kChunkWords = 256;

// Reads `length` bytes from `start` a chunk at a time, handing each chunk's words to `take`.
template <typename Take>
FlashStatus read_chunks(FlashSession& s, uint32_t start, uint32_t length, const char* label, Take take)
{
    WriteProgress plain(label);
    Progress& progress = s.progress != nullptr ? *s.progress : plain;
    const uint32_t step = s.model.bytes_per_word;
    uint32_t words[kChunkWords];
    FlashStatus result = FlashStatus::ok;
    flash_chip_enable(s, '0');
    for (uint32_t offset = 0; offset < length;) {
        s.stop_address = start + offset;
        if (result = flash_stop_check(s); result != FlashStatus::ok)
            break;
        progress.update(offset, length);
        const uint32_t count = std::min<uint32_t>(kChunkWords, (length - offset + step - 1) / step);
        s.bus.bus_read_run(start + offset, step, count, s.model.data_bits, words);
        if (result = flash_stop_check(s); result != FlashStatus::ok)
            break;
        take(offset, words, count);
        offset += count * step;
        if (flash_esc_pressed()) {
            result = FlashStatus::cancelled;
            break;
        }
    }
    flash_chip_enable(s, '1');
    if (result == FlashStatus::ok)
        progress.finish(length, length);
    return result;
}

}  // namespace

FlashStatus flash_read_range(FlashSession& s, uint32_t start, std::span<uint8_t> bytes)
{
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    const uint32_t step = s.model.bytes_per_word;
    con_printf("\nReading address: 0x%x\n", start);
    return read_chunks(s, start, length, "Read", [&](uint32_t offset, const uint32_t* words, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k)
            for (uint32_t b = 0; b < step && offset + k * step + b < length; ++b)
                bytes[offset + k * step + b] = static_cast<uint8_t>(words[k] >> (8 * b));
    });
}

FlashStatus flash_verify_range(FlashSession& s, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    const uint32_t step = s.model.bytes_per_word;
    con_printf("\nVerifying address: 0x%x\n", start);
    uint32_t differing = 0;
    uint32_t first_differing = 0;
    const FlashStatus result =
        read_chunks(s, start, length, "Verify", [&](uint32_t offset, const uint32_t* words, uint32_t count) {
            for (uint32_t k = 0; k < count; ++k) {
                // A last word the file covers only in part is compared on the file's bytes.
                uint32_t want = 0;
                uint32_t mask = 0;
                for (uint32_t b = 0; b < step && offset + k * step + b < length; ++b) {
                    want |= uint32_t{image[offset + k * step + b]} << (8 * b);
                    mask |= 0xFFu << (8 * b);
                }
                if ((words[k] & mask) == want)
                    continue;
                if (differing++ != 0)
                    continue;
                first_differing = start + offset + k * step;
                s.mismatch = {first_differing, want, words[k] & mask};
                con_printf("\nVerify error at 0x%08X: flash 0x%X, file 0x%X\n", first_differing, words[k] & mask, want);
            }
        });
    if (result != FlashStatus::ok)
        return result;
    if (differing != 0) {
        s.stop_address = first_differing;  // where the job's record says the flash first differs
        con_printf("%u of %u words differ\n", differing, (length + step - 1) / step);
        return FlashStatus::mismatch;
    }
    return FlashStatus::ok;
}

FlashStatus flash_check_blank(FlashSession& s, uint32_t start, uint32_t length)
{
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t erased = data_mask_of(s.model.data_bits);
    con_printf("\nChecking erased words: 0x%08X to 0x%08X\n", start, start + length - 1);
    uint32_t not_erased = 0;
    const FlashStatus result =
        read_chunks(s, start, length, "Check", [&](uint32_t offset, const uint32_t* words, uint32_t count) {
            for (uint32_t k = 0; k < count; ++k)
                if (words[k] != erased && not_erased++ == 0)
                    con_printf("\nErase check error at 0x%08X: flash 0x%X\n", start + offset + k * step, words[k]);
        });
    if (result != FlashStatus::ok)
        return result;
    if (not_erased != 0) {
        con_printf("%u of %u erased words are not blank\n", not_erased, length / step);
        return FlashStatus::erase_failed;
    }
    return FlashStatus::ok;
}
