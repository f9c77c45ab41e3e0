// SPDX-License-Identifier: Apache-2.0
#include "python/python_host.h"

#include "platform/platform.h"

namespace py = pybind11;

namespace {

volatile std::sig_atomic_t sigint_arrived = 0;

extern "C" void on_sigint(int)
{
    if (sigint_arrived != 0) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);  // delivered once this handler returns
    }
    sigint_arrived = 1;
}

// The stage a *_started event opens, or nullptr.
const char* stage_of(tarnflash::EventKind kind)
{
    switch (kind) {
    case tarnflash::EventKind::erase_started:
        return "erase";
    case tarnflash::EventKind::program_started:
        return "program";
    case tarnflash::EventKind::read_started:
        return "read";
    case tarnflash::EventKind::verify_started:
        return "verify";
    case tarnflash::EventKind::blank_check_started:
        return "blank_check";
    default:
        return nullptr;
    }
}

}  // namespace

PythonHost::PythonHost(Platform& clock, py::object progress, const std::atomic<bool>& stop)
    : clock_(clock), progress_(std::move(progress)), stop_(stop)
{}

void PythonHost::report(const tarnflash::Event& event)
{
    if (const char* stage = stage_of(event.kind)) {
        stage_ = stage;
        percent_ = 0;
        return;
    }
    if (event.kind != tarnflash::EventKind::progress || progress_.is_none() || stopped_ || event.total == 0)
        return;
    const auto percent = static_cast<uint32_t>(uint64_t{event.count} * 100 / event.total);
    if (percent == percent_ && event.count != 0 && !event.finished)
        return;
    percent_ = percent;
    py::gil_scoped_acquire gil;
    try {
        stopped_ = py::bool_(progress_(stage_, event.count, event.total)).cast<bool>();
    } catch (py::error_already_set& error) {
        error_ = std::move(error);
        stopped_ = true;
    }
}

bool PythonHost::stop_key() { return stopped_ || stop_.load(); }

const char* PythonHost::interrupt_requested() { return SigintCatch::arrived() ? "SIGINT" : nullptr; }

uint64_t PythonHost::monotonic_ns() { return clock_.monotonic_ns(); }

SigintCatch::SigintCatch(bool main_thread)
{
    sigint_arrived = 0;
    if (!main_thread)
        return;
    struct sigaction ours {};
    ours.sa_handler = on_sigint;
    sigemptyset(&ours.sa_mask);
    installed_ = sigaction(SIGINT, &ours, &saved_) == 0;
}

SigintCatch::~SigintCatch()
{
    if (installed_)
        sigaction(SIGINT, &saved_, nullptr);
}

bool SigintCatch::arrived() { return sigint_arrived != 0; }
