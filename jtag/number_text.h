// SPDX-License-Identifier: Apache-2.0
// Numbers in text, for every reader of them: the tool's options, the cable options, the adapter
// files and the simulator's options. Each takes the whole text or nothing: no sign, no space,
// and a value the type cannot hold is refused, never wrapped. `value` changes only on success.
#pragma once

#include <charconv>
#include <string_view>
#include <system_error>
#include <type_traits>

// "0x" or "0X" with at least one character after it.
constexpr bool has_hex_prefix(std::string_view text)
{
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// Digits of `base` only, at least one.
template <class T>
bool parse_digits(std::string_view text, T& value, int base = 10)
{
    static_assert(std::is_unsigned_v<T>, "a sign is never part of the number");
    T number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return false;
    value = number;
    return true;
}

// Decimal, or hexadecimal after 0x.
template <class T>
bool parse_unsigned(std::string_view text, T& value)
{
    return has_hex_prefix(text) ? parse_digits(text.substr(2), value, 16) : parse_digits(text, value);
}

// Hexadecimal, with or without 0x.
template <class T>
bool parse_hex(std::string_view text, T& value)
{
    return parse_digits(has_hex_prefix(text) ? text.substr(2) : text, value, 16);
}
