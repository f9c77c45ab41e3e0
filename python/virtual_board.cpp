// SPDX-License-Identifier: Apache-2.0
#include "python/virtual_board.h"

#include <stdexcept>

PyVirtualBoard::PyVirtualBoard(const std::vector<std::string>& args, const std::string* flash_in)
{
    std::string words;
    sim::BoardConfig config;
    Outcome made = sim::parse_sim_options(args, options_, words);
    if (made.ok())
        made = sim::board_config(options_, config, words);
    if (made.ok() && flash_in != nullptr)
        config.flash_in.assign(flash_in->begin(), flash_in->end());
    if (made.ok())
        made = sim::VirtualBoard::create(config, board_, words);
    if (!made.ok())
        throw std::invalid_argument(made.detail);
    // The adapter with a serial number stands for one device, as on a PC.
    board_->mpsse().set_exclusive(!options_.usb_serial.empty());
}

std::vector<uint8_t> PyVirtualBoard::contents()
{
    sim::FlashBank* flash = board_->flash();
    return flash != nullptr ? flash->contents() : std::vector<uint8_t>{};
}

void PyVirtualBoard::load(const std::string& bytes)
{
    sim::FlashBank* flash = board_->flash();
    if (flash == nullptr || bytes.size() > flash->size_bytes())
        throw std::invalid_argument("the contents are larger than the flash");
    flash->load(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}
