#include "targets/selected_target.h"

#include <cstring>

SelectedTarget::SelectedTarget(const CpuTarget& cpu, Cable& cable) : cpu_(cpu), cable_(cable)
{
    std::memcpy(bsr_image_, cpu.default_image, static_cast<size_t>(cpu.bsr_length) + 1);
    std::memset(capture_, '0', sizeof capture_);
}

uint32_t SelectedTarget::bus_read(uint32_t address, uint32_t data_bits)
{
    const CpuPins& pins = cpu_.pins;
    release_data(pins, bsr_image_);
    set_address(pins, bsr_image_, address);
    bsr_image_[pins.oe] = '0';
    scan();
    // A capture holds the pins as the previous Update-DR left them, so the flash's answer to
    // the address and OE# of the scan above only shows in a second, unchanged scan.
    cable_.scan_dr_capture(bsr_image_, capture_, bsr_length());
    bsr_image_[pins.oe] = '1';
    scan();
    return get_data(pins, capture_, data_bits);
}

void SelectedTarget::bus_write(uint32_t address, uint32_t data, uint32_t data_bits)
{
    const CpuPins& pins = cpu_.pins;
    set_address(pins, bsr_image_, address);
    set_data(pins, bsr_image_, data, pins.write_width != 0 ? pins.write_width : data_bits);
    bsr_image_[pins.we] = '0';
    scan();
    bsr_image_[pins.we] = '1';
    scan();
}

void SelectedTarget::bsr_set_chip_enable(char level)
{
    bsr_image_[ncs_cell_] = level;
    scan();
}

void SelectedTarget::bus_release()
{
    const CpuPins& pins = cpu_.pins;
    if (ncs_cell_ != kNoNcsCell)
        bsr_image_[ncs_cell_] = '1';
    bsr_image_[pins.oe] = '1';
    bsr_image_[pins.we] = '1';
    release_data(pins, bsr_image_);
    scan();
}
