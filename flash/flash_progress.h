// SPDX-License-Identifier: Apache-2.0
// How far a long job has come. The engine reports; the front end decides how it is shown.
#pragma once

#include <cstdint>

class Progress {
public:
    virtual ~Progress() = default;
    // `done` of `total` bytes, while the job runs.
    virtual void update(uint32_t done, uint32_t total) = 0;
    // The job finished with `done` of `total` bytes.
    virtual void finish(uint32_t done, uint32_t total) = 0;
};

// The plain console lines: "Write: %8d / %d [Byte]" redrawn with '\r', ended with '\n'.
class WriteProgress final : public Progress {
public:
    explicit WriteProgress(const char* label = "Write") : label_(label) {}
    void update(uint32_t done, uint32_t total) override;
    void finish(uint32_t done, uint32_t total) override;

private:
    const char* label_;
};
