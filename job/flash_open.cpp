// SPDX-License-Identifier: Apache-2.0
#include "job/flash_open.h"

#include "flash/flash_ops.h"
#include "jtag/chain_check.h"

Outcome check_chain(JtagChain& chain, Host& host, const CpuTarget& cpu)
{
    if (cpu.idcode_instruction == nullptr)
        return outcome_of(Status::ok);
    return chain_check_idcode(chain, host, cpu.idcode_instruction, cpu.idcode, cpu.instruction_length);
}

ChoiceStop choose_flash(SelectedTarget& target, Host& host, const CpuTarget& cpu, uint32_t start, const char* model,
                        int32_t bus_width, int32_t interleave, FlashChoice& choice)
{
    choice.bus_width = bus_width;
    choice.interleave = interleave;
    if (model == nullptr) {
        FlashDetection found;
        choice.setups_tried = setups_to_try(cpu, bus_width, interleave);
        if (detect_in_setups(target, host, start, choice.setups_tried, found) != Status::ok)
            return ChoiceStop::nothing_detected;
        choice.descriptor = found.descriptor;
        choice.bus_width = found.bus_width;
        choice.interleave = found.interleave;
    } else {
        choice.descriptor = flash_descriptor_find(model);
    }
    if (choice.descriptor == nullptr ||
        flash_setup_model(*choice.descriptor, choice.bus_width, choice.interleave, choice.model) != Status::ok)
        return ChoiceStop::unsupported;
    return ChoiceStop::none;
}

Outcome read_flash_codes(FlashSession& s, uint32_t start)
{
    return flash_read_id(s, id_base(start), s.model.maker_id_offset, s.model.device_id_offset);
}

Outcome read_flash_blocks(FlashSession& s, uint32_t start)
{
    return flash_builtin_for(s) != nullptr ? flash_builtin_geometry(s, id_base(start))
                                           : flash_query_cfi(s, id_base(start));
}
