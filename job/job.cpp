// SPDX-License-Identifier: Apache-2.0
#include <tarnflash/tarnflash.h>

namespace tarnflash {

struct Job::State {
    Cable& cable;
    Setup setup;
    Host& host;
    Report report;
};

Job::Job(Cable& cable, const Setup& setup, Host& host) : state_(new State{cable, setup, host, {}}) {}
Job::~Job() = default;

const Report& Job::report() const { return state_->report; }

FlashFound Job::detect() { return {.outcome = outcome_of(Status::refused)}; }
Outcome Job::program(std::span<const uint8_t>, const ProgramOptions&) { return outcome_of(Status::refused); }
ReadResult Job::read(uint32_t, uint32_t) { return {.outcome = outcome_of(Status::refused)}; }
Outcome Job::verify(std::span<const uint8_t>, uint32_t) { return outcome_of(Status::refused); }
Outcome Job::erase(uint32_t, uint32_t) { return outcome_of(Status::refused); }

}  // namespace tarnflash
