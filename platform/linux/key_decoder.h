// SPDX-License-Identifier: Apache-2.0
// Console bytes to key codes, as the tool expects them: Enter is 13 whatever the
// line ending, and the escape sequence of a cursor or function key is swallowed so
// that only a real ESC press reads as 27.
#pragma once

#include <cstddef>

class KeyDecoder {
public:
    static constexpr int kEnter = 13;
    static constexpr int kEscape = 27;

    // Decodes `length` bytes that arrived together and writes their keys to `keys`
    // (at most one key per byte, plus one for an ESC held from the chunk before);
    // returns the number of keys. A sequence cut at the end of a chunk is finished
    // with the next chunk.
    size_t decode(const unsigned char* bytes, size_t length, int* keys);

    // An ESC that ended its chunk may be the start of an arrow key's sequence: it is
    // held until the next chunk tells, or until flush() says no more came in time.
    bool holds_escape() const { return sequence_ == Sequence::escape; }
    size_t flush(int* keys);

private:
    enum class Sequence { none, escape, csi, ss3 };
    Sequence sequence_ = Sequence::none;
    bool after_cr_ = false;
};
