// SPDX-License-Identifier: Apache-2.0
// The host a job from Python reports to: progress to the script's callback, a stop asked by the
// script (stop(), or the callback's answer), a Ctrl-C caught while the job runs, and the clock of
// the platform the cable runs over.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string>

#include <tarnflash/tarnflash.h>

class Platform;

class PythonHost final : public tarnflash::Host {
public:
    // `progress(stage, done, total)`, or None; true from it stops the job, as `stop` set does.
    PythonHost(Platform& clock, pybind11::object progress, const std::atomic<bool>& stop);

    void report(const tarnflash::Event& event) override;
    bool stop_key() override;
    const char* interrupt_requested() override;
    uint64_t monotonic_ns() override;

    // What the callback raised, taken for the caller to raise again.
    std::optional<pybind11::error_already_set> take_error() { return std::move(error_); }

private:
    Platform& clock_;
    pybind11::object progress_;
    const std::atomic<bool>& stop_;
    bool stopped_ = false;  // by the callback
    std::optional<pybind11::error_already_set> error_;
    std::string stage_;
    uint32_t percent_ = 0;  // of the last call, so a long job calls about a hundred times
};

// Catches SIGINT for the job's duration, on Python's main thread where its signals arrive, and
// gives Python its handler back afterwards. A second SIGINT ends the process, as on the command
// line, so a job stuck on its cable can still be left.
class SigintCatch {
public:
    explicit SigintCatch(bool main_thread);
    ~SigintCatch();
    SigintCatch(const SigintCatch&) = delete;
    SigintCatch& operator=(const SigintCatch&) = delete;

    static bool arrived();

private:
    bool installed_ = false;
    struct sigaction saved_ {};
};
