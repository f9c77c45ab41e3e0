// SPDX-License-Identifier: Apache-2.0
// identify CPU [FLASH]: finds the parallel port, checks the CPU's IDCODE and prints the maker and
// device ID and the size of the flash at address 0 (FLASH names the model, S29AL008D by default;
// 16-bit bus, one chip). A program of its own on the installed engine, with its own host.
#include <chrono>
#include <cstdio>
#include <memory>
#include <tarnflash/tarnflash.h>

namespace {

// Where the engine reports: progress is not shown, nothing stops the job, the clock is the
// system's.
class QuietHost final : public Host {
public:
    void report(const EngineEvent&) override {}
    bool stop_key() override { return false; }
    const char* interrupt_requested() override { return nullptr; }
    uint64_t monotonic_ns() override
    {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};

int fail(const char* what)
{
    std::printf("%s\n", what);
    return 1;
}

int identify(const CpuTarget& cpu, const FlashDescriptor& descriptor, JtagChain& chain, Host& host)
{
    if (!chain_check_idcode(chain, host, cpu.idcode_instruction, cpu.idcode, cpu.instruction_length).ok())
        return fail("the CPU's IDCODE does not match");
    chain.scan_ir(cpu.instruction_length, cpu.extest_instruction);
    FlashModel model{};
    if (flash_setup_model(descriptor, 16, 1, model) != Status::ok)
        return fail("the flash has no 16-bit set-up");
    SelectedTarget target(cpu, chain);
    target.set_ncs_cell(cpu_ncs_cell(cpu, 0));
    target.set_word_bytes(model.bytes_per_word);
    FlashSession session(target, host, descriptor, model, 1);
    const bool known = flash_read_id(session, 0, model.maker_id_offset, model.device_id_offset).ok();
    std::printf("maker 0x%04X, device 0x%04X\n", session.identity.maker_id, session.identity.device_id);
    if (!known)
        return fail("the flash does not answer as the model says");
    const Outcome geometry =
        flash_builtin_for(session) != nullptr ? flash_builtin_geometry(session, 0) : flash_query_cfi(session, 0);
    flash_reset_cycle(session, 0);
    if (!geometry.ok())
        return fail("the flash's size is unknown");
    std::printf("size %u KB in %d blocks\n", session.geometry.device_size / 1024, session.geometry.block_count);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::printf("usage: identify CPU [FLASH]\n");
        return 2;
    }
    const CpuTarget* cpu = cpu_select(argv[1]);
    const FlashDescriptor* descriptor = flash_descriptor_find(argc > 2 ? argv[2] : "S29AL008D");
    if (cpu == nullptr || descriptor == nullptr)
        return fail("unknown CPU or flash");
    std::unique_ptr<Platform> os = make_os_platform();
    platform_install(os.get());
    if (const char* refused = os->port_access())
        return fail(refused);
    const uint16_t base = lpt_find_port(*os);
    if (base == 0)
        return fail("no parallel port");
    LptCable cable(*os, base);
    JtagChain chain(cable);  // the CPU alone on its chain
    QuietHost host;
    chain.park();
    chain.tap_reset();
    const int status = identify(*cpu, *descriptor, chain, host);
    chain.tap_reset();
    chain.park();
    os->port_release();
    return status;
}
