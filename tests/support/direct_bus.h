// A flash engine test rig: the tool's bus cycles go straight to a virtual flash bank,
// without the TAP, and cost the virtual time a boundary-scan cycle would take.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>

#include "app/options.h"
#include "flash/flash_model.h"
#include "flash/flash_ops.h"
#include "platform/platform.h"
#include "sim/bus_signals.h"
#include "sim/flash_bank.h"
#include "sim/virtual_clock.h"
#include "targets/cpu_table.h"

namespace test_support {

// Port writes go nowhere (the chip-enable scans still cost their port time), keys come
// from a script, the calendar follows the virtual clock and the console is captured.
class RigPlatform : public Platform {
public:
    explicit RigPlatform(sim::VirtualClock& clock) : clock_(clock) {}

    const char* port_access() override { return nullptr; }
    void port_write(uint16_t, uint8_t) override { clock_.advance(kPortAccessNs); }
    uint8_t port_read(uint16_t) override
    {
        clock_.advance(kPortAccessNs);
        return 0xFF;
    }

    bool key_available() override
    {
        ++key_tests;
        return !keys_.empty() && keys_.front().first <= clock_.ns;
    }
    int key_read() override
    {
        int key = keys_.front().second;
        keys_.pop_front();
        return key;
    }
    bool keys_ended() override { return keys_.empty(); }

    int64_t time_seconds() override
    {
        clock_.advance(kClockReadNs);
        return static_cast<int64_t>(clock_.ns / 1'000'000'000);
    }

    void console_write(const char* text, size_t length) override { console.append(text, length); }

    // `key` becomes available once the virtual clock reaches `at_ns`.
    void press(int key, uint64_t at_ns = 0) { keys_.emplace_back(at_ns, key); }

    std::string console;
    uint64_t key_tests = 0;

private:
    static constexpr uint64_t kPortAccessNs = 1'000;
    static constexpr uint64_t kClockReadNs = 50'000;

    sim::VirtualClock& clock_;
    std::deque<std::pair<uint64_t, int>> keys_;
};

// BusOps whose cycles drive the bank's pins directly. One rig at a time (the tool's
// BusOps are plain functions).
class DirectBus {
public:
    // Two or three full shifts of a boundary-scan register over the parallel port.
    static constexpr uint64_t kScanNs = 600'000;
    static constexpr int kBsrLength = 298;
    static constexpr int kNcsCell = 116;

    DirectBus(sim::BusDevice& device, sim::VirtualClock& clock) : device_(&device), clock_(clock)
    {
        current() = this;
        g_target = SelectedTarget{};
        g_target.bsr_length = kBsrLength;
        std::memset(g_target.bsr_image, '1', kBsrLength);
        g_target.bsr_image[kBsrLength] = '\0';
        g_target.ncs_cell = kNcsCell;
        g_target.ops.bus_read = &DirectBus::bus_read;
        g_target.ops.bus_write = &DirectBus::bus_write;
    }
    ~DirectBus()
    {
        if (current() == this)
            current() = nullptr;
    }
    DirectBus(const DirectBus&) = delete;
    DirectBus& operator=(const DirectBus&) = delete;

    // Sends the cycles through another device from now on (a wrapper around the bank).
    void route(sim::BusDevice& device) { device_ = &device; }

    uint64_t writes = 0;
    uint64_t reads = 0;

    static void bus_write(char* image, uint32_t address, uint32_t data)
    {
        DirectBus& bus = *current();
        ++bus.writes;
        bus.follow_chip_enable(image);
        sim::DevicePins next = bus.pins_;
        next.address = address;
        next.data = data & g_flash_model.data_mask;
        next.data_driven = g_flash_model.data_mask;
        next.oe_n = true;
        next.we_n = false;
        bus.apply(next);
        bus.clock_.advance(kScanNs);
        next.we_n = true;
        bus.apply(next);
        bus.clock_.advance(kScanNs);
    }

    static uint32_t bus_read(char* image, uint32_t address)
    {
        DirectBus& bus = *current();
        ++bus.reads;
        bus.follow_chip_enable(image);
        sim::DevicePins next = bus.pins_;
        next.address = address;
        next.data_driven = 0;
        next.oe_n = false;
        bus.apply(next);
        bus.clock_.advance(kScanNs);
        // Capture-DR of the second scan samples the lines; undriven lines are pulled up.
        uint32_t levels = 0;
        uint32_t driven = bus.device_->data_out(bus.pins_, bus.clock_.ns, levels);
        uint32_t word = ((levels & driven) | ~driven) & g_flash_model.data_mask;
        bus.clock_.advance(kScanNs);
        next.oe_n = true;
        bus.apply(next);
        bus.clock_.advance(kScanNs);
        return word;
    }

private:
    static DirectBus*& current()
    {
        static DirectBus* bus = nullptr;
        return bus;
    }

    // Chip enable changes by its own scan through the platform; the bank sees it before
    // the next cycle.
    void follow_chip_enable(const char* image)
    {
        bool ce_n = image[g_target.ncs_cell] != '0';
        if (ce_n != pins_.ce_n) {
            sim::DevicePins next = pins_;
            next.ce_n = ce_n;
            apply(next);
        }
    }

    void apply(const sim::DevicePins& next)
    {
        sim::DevicePins before = pins_;
        pins_ = next;
        device_->pins_changed(before, pins_, clock_.ns);
    }

    sim::BusDevice* device_;
    sim::VirtualClock& clock_;
    sim::DevicePins pins_;
};

// The whole rig: a virtual bank of one model, its bus, the platform and the tool's
// records for that model and set-up.
struct FlashRig {
    FlashRig(const char* sim_model, sim::BusSetup setup, const char* tool_model, int32_t width, int32_t chips,
             sim::FlashFaults faults = {})
        : FlashRig(*sim::FlashBank::find_nor_model(sim_model), setup, tool_model, width, chips, faults)
    {}

    // `chip` must outlive the rig.
    FlashRig(const sim::NorModel& chip, sim::BusSetup setup, const char* tool_model, int32_t width, int32_t chips,
             sim::FlashFaults faults = {})
        : platform(clock), bank(chip, setup, faults), bus(bank, clock)
    {
        platform_install(&platform);
        options_init();
        flash_init();
        std::strncpy(g_options.flash_model, tool_model, sizeof g_options.flash_model - 1);
        g_options.bus_width = width;
        g_options.interleave = chips;
        model_ok = flash_setup_model() == 0;
    }

    char* image() { return g_target.bsr_image; }

    sim::VirtualClock clock;
    RigPlatform platform;
    sim::FlashBank bank;
    DirectBus bus;
    bool model_ok = false;
};

}  // namespace test_support
