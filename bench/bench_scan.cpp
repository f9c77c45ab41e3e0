// SPDX-License-Identifier: Apache-2.0
// Port accesses per second of the tool's DR scans running on the virtual board.
#include <benchmark/benchmark.h>

#include <string>

#include "jtag/lpt_cable.h"
#include "jtag/tap_walker.h"
#include "sim/board.h"
#include "sim/sim_platform.h"

namespace {

constexpr uint32_t kCells = 298;

struct Bench {
    sim::VirtualBoard board{sim::BoardConfig{}};
    sim::SimPlatform platform{board, sim::KeySetup{true, {}, {}, 0}};
    std::string image;
    std::string capture;
    LptCable cable;

    Bench()
        : image(kCells, '0'),
          capture(kCells, '0'),
          cable((platform_install(&platform), platform), board.config().port_base)
    {
        for (uint32_t i = 0; i < kCells; i += 3)
            image[i] = '1';
        cable_park(cable);
        tap_reset(cable);
        jtag_scan_ir(cable, 4, kExtest);  // the boundary-scan register is shifted
    }

    uint64_t accesses() const { return board.stats().port_writes + board.stats().port_reads; }
};

void report(benchmark::State& state, const Bench& bench, uint64_t before)
{
    double accesses = static_cast<double>(bench.accesses() - before);
    state.counters["port_accesses"] = benchmark::Counter(accesses, benchmark::Counter::kIsRate);
}

void BM_ScanDr(benchmark::State& state)
{
    Bench bench;
    uint64_t before = bench.accesses();
    for (auto _ : state)
        jtag_scan_dr(bench.cable, bench.image.data(), kCells);
    report(state, bench, before);
}
BENCHMARK(BM_ScanDr);

void BM_ScanDrCapture(benchmark::State& state)
{
    Bench bench;
    uint64_t before = bench.accesses();
    for (auto _ : state) {
        jtag_scan_dr_capture(bench.cable, bench.image.data(), bench.capture.data(), kCells);
        benchmark::DoNotOptimize(bench.capture.data());
    }
    report(state, bench, before);
}
BENCHMARK(BM_ScanDrCapture);

}  // namespace

BENCHMARK_MAIN();
