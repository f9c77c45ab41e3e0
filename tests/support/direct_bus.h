// SPDX-License-Identifier: Apache-2.0
// A flash engine test rig: the engine's bus cycles go straight to a virtual flash bank,
// without the TAP, and cost the virtual time boundary-scan cycles would take.
#pragma once

#include <cstdint>
#include <memory>

#include "flash/flash_ops.h"
#include "platform/platform.h"
#include "sim/bus_signals.h"
#include "sim/flash_bank.h"
#include "sim/virtual_clock.h"
#include "targets/bus_cycles.h"
#include "tests/support/fake_platform.h"
#include "tests/support/recording_host.h"

namespace test_support {

// Bus cycles that drive the bank's pins directly.
class DirectBus final : public BusCycles {
public:
    // One full shift of a 298-cell boundary-scan register over the parallel port.
    static constexpr uint64_t kScanNs = 608'000;

    DirectBus(sim::BusDevice& device, sim::VirtualClock& clock) : device_(&device), clock_(clock) {}

    // Sends the cycles through another device from now on (a wrapper around the bank).
    void route(sim::BusDevice& device) { device_ = &device; }
    // A faster or slower port: the virtual time one scan takes.
    void set_scan_ns(uint64_t ns) { scan_ns_ = ns; }
    bool chip_enabled() const { return !pins_.ce_n; }

    uint64_t writes = 0;
    uint64_t reads = 0;
    const char* cable_fault = nullptr;
    // Behave as a cable whose answers come late: the engine then writes ahead of its read-backs.
    bool late = false;

    bool answers_late() const override { return late; }

    void bus_write(uint32_t address, uint32_t data, uint32_t data_bits) override
    {
        ++writes;
        const uint32_t mask = data_mask_of(data_bits);
        sim::DevicePins next = pins_;
        next.address = address;
        next.data = data & mask;
        next.data_driven = mask;
        next.oe_n = true;
        next.we_n = false;
        apply(next);
        next.we_n = true;
        apply(next);
    }

    uint32_t bus_read(uint32_t address, uint32_t data_bits) override
    {
        ++reads;
        sim::DevicePins next = pins_;
        next.address = address;
        next.data_driven = 0;
        next.oe_n = false;
        apply(next);
        // The capture of the second scan samples the lines; undriven lines are pulled up.
        uint32_t levels = 0;
        uint32_t driven = device_->data_out(pins_, clock_.ns, levels);
        uint32_t word = ((levels & driven) | ~driven) & data_mask_of(data_bits);
        clock_.advance(scan_ns_);
        next.oe_n = true;
        apply(next);
        return word;
    }

    void bsr_set_chip_enable(char level) override
    {
        sim::DevicePins next = pins_;
        next.ce_n = level != '0';
        apply(next);
    }

    const char* fault() const override { return cable_fault; }

private:
    // One pin update is one scan.
    void apply(const sim::DevicePins& next)
    {
        sim::DevicePins before = pins_;
        pins_ = next;
        device_->pins_changed(before, pins_, clock_.ns);
        clock_.advance(scan_ns_);
    }

    sim::BusDevice* device_;
    sim::VirtualClock& clock_;
    uint64_t scan_ns_ = kScanNs;
    sim::DevicePins pins_;
};

// The whole rig: a virtual bank of one model, its bus, the platform, a host that records what
// the engine reports, and a flash session for that model and set-up.
struct FlashRig {
    FlashRig(const char* sim_model, sim::FlashSetup setup, const char* tool_model, int32_t width, int32_t chips,
             sim::FlashFaults faults = {})
        : FlashRig(*sim::FlashBank::find_nor_model(sim_model), setup, tool_model, width, chips, faults)
    {}

    // `chip` must outlive the rig.
    FlashRig(const sim::NorModel& chip, sim::FlashSetup setup, const char* tool_model, int32_t width, int32_t chips,
             sim::FlashFaults faults = {})
        : bank(chip, setup, faults), bus(bank, clock)
    {
        platform.clock = &clock;
        platform.record = false;
        platform_install(&platform);
        const FlashDescriptor* descriptor = flash_descriptor_find(tool_model);
        FlashModel model{};
        model_ok = descriptor != nullptr && flash_setup_model(*descriptor, width, chips, model) == Status::ok;
        if (model_ok)
            session = std::make_unique<FlashSession>(bus, host, *descriptor, model, chips);
    }

    FlashSession& s() { return *session; }
    const FlashModel& model() { return session->model; }

    sim::VirtualClock clock;
    FakePlatform platform;
    RecordingHost host;
    sim::FlashBank bank;
    DirectBus bus;
    std::unique_ptr<FlashSession> session;
    bool model_ok = false;
};

}  // namespace test_support
