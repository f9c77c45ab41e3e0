// SPDX-License-Identifier: Apache-2.0
// The progress of a long job as the console shows it. On a terminal the line is redrawn in
// place, a few times a second, with the percentage and the time left. A file or a pipe gets a
// line per tenth of the job and the final line, so a log of an hour-long job stays short.
#pragma once

#include <cstdint>

class ConsoleProgress final {
public:
    // `label` begins every line ("Write").
    explicit ConsoleProgress(const char* label) : label_(label) {}

    // The job whose lines follow; a job's label stays until it is finished.
    void set_label(const char* label) { label_ = label; }
    // `done` of `total` bytes, while the job runs.
    void update(uint32_t done, uint32_t total);
    // "<label>: %8d / %d [Byte]" and a newline: the job finished with `done` of `total` bytes.
    void finish(uint32_t done, uint32_t total);

private:
    void start();
    void draw(uint32_t done, uint32_t total, uint64_t now_ns);

    const char* label_;
    bool started_ = false;
    bool terminal_ = false;
    uint64_t start_ns_ = 0;
    uint64_t drawn_ns_ = 0;  // wall time of the last redraw
    int drawn_length_ = 0;   // of the line on the terminal, for the next redraw to cover
    uint32_t tenths_shown_ = 0;
};
