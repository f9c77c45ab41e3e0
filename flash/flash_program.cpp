// Programming the image, word by word or one write buffer at a time, with read-back.
#include <cstdint>
#include <cstdio>

#include "app/exit.h"
#include "app/options.h"
#include "flash/flash_bus.h"
#include "flash/flash_ops.h"
#include "platform/console.h"

namespace {

constexpr uint32_t kWordPollLimit = 5000;
constexpr uint32_t kBufferPollLimit = 100000;
constexpr uint32_t kMaxBufferWords = 32;
constexpr uint8_t kErased = 0xFF;

std::FILE* open_image()
{
    std::FILE* file = std::fopen(g_options.image_path, "rb");
    if (file == nullptr)
        fail_exit("Could not open input data.\n");
    return file;
}

// The word at image offset `offset`, least significant byte first. Bytes past the end of
// the image read as erased; a file that cannot supply the bytes before the end is an error.
bool read_image_word(std::FILE* file, uint32_t offset, uint32_t length, uint32_t* word)
{
    uint8_t bytes[4] = {kErased, kErased, kErased, kErased};
    uint32_t width = g_flash_model.bytes_per_word;
    uint32_t wanted = length - offset < width ? length - offset : width;
    if (std::fread(bytes, 1, wanted, file) != wanted)
        return false;
    uint32_t value = 0;
    for (uint32_t k = 0; k < width; ++k)
        value |= uint32_t{bytes[k]} << (8 * k);
    *word = value & g_flash_model.data_mask;
    return true;
}

bool read_image_buffer(std::FILE* file, uint32_t offset, uint32_t length, uint32_t* words, uint32_t count)
{
    for (uint32_t k = 0; k < count; ++k, offset += g_flash_model.bytes_per_word) {
        if (offset >= length)
            words[k] = g_flash_model.data_mask;  // erased
        else if (!read_image_word(file, offset, length, &words[k]))
            return false;
    }
    return true;
}

void report_read_failure() { con_printf("Could not read input data.\n"); }

void report_mismatch(uint32_t written, uint32_t read)
{
    con_printf("\nProgram Error, Write: 0x%X, Read: 0x%X\n", written, read);
}

// ESC ends the whole process; any other key is dropped.
void stop_on_esc(std::FILE* file)
{
    if (flash_esc_pressed()) {
        std::fclose(file);
        quit(1);
    }
}

void program_word(char* image, uint32_t start, uint32_t address, uint32_t word)
{
    flash_unlock(image, start);
    flash_write(image, start + g_flash_model.unlock_addr1, g_flash_model.cmd_program);
    flash_write(image, address, word);
}

// The word reads back as written within the poll limit; the last word read is left in `read`.
bool word_verified(char* image, uint32_t address, uint32_t word, uint32_t* read)
{
    for (uint32_t reads = 0; reads < kWordPollLimit; ++reads) {
        *read = flash_read(image, address);
        if (*read == word)
            return true;
    }
    return false;
}

void program_buffer(char* image, uint32_t start, uint32_t address, const uint32_t* words, uint32_t count)
{
    uint32_t step = g_flash_model.bytes_per_word;
    flash_unlock(image, start);
    flash_write(image, address, g_flash_model.cmd_write_buffer);
    flash_write(image, address, count - 1);
    for (uint32_t k = 0; k < count; ++k)
        flash_write(image, address + k * step, words[k] & g_flash_model.data_mask);
    flash_write(image, address + (count - 1) * step, g_flash_model.cmd_buffer_confirm);
}

// Only the last word of a buffer reports progress; the chip is done once it reads back.
bool buffer_done(char* image, uint32_t last_address, uint32_t last_word)
{
    uint32_t mask = g_flash_model.data_mask;
    uint32_t differing = 0;
    while ((flash_read(image, last_address) & mask) != (last_word & mask)) {
        if (++differing > kBufferPollLimit)
            return false;
    }
    return true;
}

// Every other word of the finished buffer, read back once.
bool buffer_verified(char* image, uint32_t address, const uint32_t* words, uint32_t count)
{
    uint32_t mask = g_flash_model.data_mask;
    for (uint32_t k = 0; k + 1 < count; ++k) {
        uint32_t read = flash_read(image, address + k * g_flash_model.bytes_per_word) & mask;
        if (read != (words[k] & mask)) {
            report_mismatch(words[k] & mask, read);
            return false;
        }
    }
    return true;
}

}  // namespace

int flash_program(char* image, uint32_t start, uint32_t length)
{
    std::FILE* file = open_image();
    con_printf("\nWriting address: 0x%x\n", start);

    int result = 0;
    uint32_t offset = 0;
    bsr_set_chip_enable(image, '0');
    while (offset < length) {
        uint32_t word = 0;
        if (!read_image_word(file, offset, length, &word)) {
            report_read_failure();
            result = -1;
            break;
        }
        uint32_t address = start + offset;
        program_word(image, start, address, word);
        con_printf("Write: %8d / %d [Byte]\r", static_cast<int>(offset), static_cast<int>(length));

        uint32_t read = 0;
        if (!word_verified(image, address, word, &read)) {
            report_mismatch(word, read);
            result = -1;
            break;
        }
        offset += g_flash_model.bytes_per_word;
        stop_on_esc(file);
    }
    bsr_set_chip_enable(image, '1');
    std::fclose(file);

    flash_reset_cycle(image, start);
    if (result == 0)
        con_printf("Write: %8d / %d [Byte]\n", static_cast<int>(offset), static_cast<int>(length));
    return result;
}

int flash_program_buffered(char* image, uint32_t start, uint32_t length)
{
    std::FILE* file = open_image();
    con_printf("\nWriting address: 0x%x\n", start);

    uint32_t words[kMaxBufferWords];
    uint32_t count = g_flash_model.buffer_words;
    if (count < 1)
        count = 1;
    if (count > kMaxBufferWords)
        count = kMaxBufferWords;
    uint32_t buffer_bytes = count * g_flash_model.bytes_per_word;

    int result = 0;
    uint32_t offset = 0;
    bsr_set_chip_enable(image, '0');
    while (offset < length) {
        con_printf("Write: %8d / %d [Byte]\r", static_cast<int>(offset), static_cast<int>(length));
        if (!read_image_buffer(file, offset, length, words, count)) {
            report_read_failure();
            result = -1;
            break;
        }
        uint32_t address = start + offset;
        program_buffer(image, start, address, words, count);
        uint32_t last_address = address + (count - 1) * g_flash_model.bytes_per_word;
        if (!buffer_done(image, last_address, words[count - 1])) {
            con_printf("\nProgram Error, ADDR: 0x%X\n", address);
            result = -1;
            break;
        }
        if (!buffer_verified(image, address, words, count)) {
            result = -1;
            break;
        }
        offset += buffer_bytes;
        stop_on_esc(file);
    }
    bsr_set_chip_enable(image, '1');
    std::fclose(file);

    if (result == 0)
        con_printf("Write: %8d / %d [Byte]\n", static_cast<int>(offset), static_cast<int>(length));
    return result;
}
