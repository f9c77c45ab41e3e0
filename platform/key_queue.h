// SPDX-License-Identifier: Apache-2.0
// The keys read ahead of the tool: a small ring, filled from the console input
// in bursts and emptied one key at a time.
#pragma once

#include <cstddef>

class KeyQueue {
public:
    static constexpr size_t kCapacity = 64;

    bool empty() const { return count_ == 0; }
    size_t room() const { return kCapacity - count_; }

    void push(int key) { keys_[(head_ + count_++) % kCapacity] = key; }

    int pop()
    {
        int key = keys_[head_];
        head_ = (head_ + 1) % kCapacity;
        --count_;
        return key;
    }

private:
    int keys_[kCapacity] = {};
    size_t head_ = 0;
    size_t count_ = 0;
};
