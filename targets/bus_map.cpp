// SPDX-License-Identifier: Apache-2.0
#include "targets/bus_map.h"

#include <cctype>
#include <cstdlib>

namespace {

bool digits(const std::string& s)
{
    return !s.empty() && s.size() <= 6 && s.find_first_not_of("0123456789") == std::string::npos;
}

void add_range(std::vector<std::string>& into, const std::string& before, int from, int to, const std::string& after)
{
    const int step = from <= to ? 1 : -1;
    for (int i = from;; i += step) {
        into.push_back(before + std::to_string(i) + after);
        if (i == to)
            break;
    }
}

// A1..A22, A(1..22) or one name.
bool expand(const std::string& item, std::vector<std::string>& into, std::string& error)
{
    const size_t dots = item.find("..");
    if (dots == std::string::npos) {
        if (item.empty()) {
            error = "--bus: an empty pin name";
            return false;
        }
        into.push_back(item);
        return true;
    }
    const size_t open = item.find('(');
    if (open != std::string::npos && open < dots && item.back() == ')') {
        const std::string from = item.substr(open + 1, dots - open - 1);
        const std::string to = item.substr(dots + 2, item.size() - dots - 3);
        if (open > 0 && digits(from) && digits(to)) {
            add_range(into, item.substr(0, open + 1), std::atoi(from.c_str()), std::atoi(to.c_str()), ")");
            return true;
        }
    } else {
        const std::string left = item.substr(0, dots);
        const std::string right = item.substr(dots + 2);
        const size_t l = left.find_last_not_of("0123456789") + 1;
        const size_t r = right.find_last_not_of("0123456789") + 1;
        if (l > 0 && l < left.size() && r < right.size() && left.compare(0, l, right, 0, r) == 0 && l == r &&
            digits(left.substr(l)) && digits(right.substr(r))) {
            add_range(into, left.substr(0, l), std::atoi(left.c_str() + l), std::atoi(right.c_str() + r), "");
            return true;
        }
    }
    error = "--bus: '" + item + "' is not a range (A1..A22 or A(1..22))";
    return false;
}

bool list(const std::string& text, std::vector<std::string>& into, std::string& error)
{
    size_t begin = 0;
    for (;;) {
        const size_t plus = text.find('+', begin);
        if (!expand(text.substr(begin, plus - begin), into, error))
            return false;
        if (plus == std::string::npos)
            return true;
        begin = plus + 1;
    }
}

bool single(const std::string& key, const std::string& value, std::string& into, std::string& error)
{
    if (!into.empty() || value.empty() || value.find_first_of("+.") != std::string::npos) {
        error = "--bus: " + key + "= takes one pin, given once";
        return false;
    }
    into = value;
    return true;
}

bool item(const std::string& text, BusMap& map, std::string& error)
{
    const size_t equals = text.find('=');
    const std::string key = text.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : text.substr(equals + 1);
    if (key == "addr" || key == "data") {
        std::vector<std::string>& pins = key == "addr" ? map.address : map.data;
        if (!pins.empty()) {
            error = "--bus: " + key + "= given twice";
            return false;
        }
        return list(value, pins, error);
    }
    if (key == "ncs" || key == "noe" || key == "nwe")
        return single(key, value, key == "ncs" ? map.ncs : key == "noe" ? map.noe : map.nwe, error);
    error = "--bus: unknown item '" + text + "' (expected addr=, data=, ncs=, noe=, nwe=)";
    return false;
}

}  // namespace

bool bus_map_parse(const char* text, BusMap& map, std::string& error)
{
    const std::string all = text;
    size_t i = 0;
    while (i < all.size()) {
        if (all[i] == ' ' || all[i] == ',' || all[i] == '\t' || all[i] == '\n') {
            ++i;
            continue;
        }
        const size_t end = all.find_first_of(" ,\t\n", i);
        if (!item(all.substr(i, end - i), map, error))
            return false;
        i = end == std::string::npos ? all.size() : end;
    }
    if (map.address.empty() || map.data.empty() || map.ncs.empty() || map.noe.empty() || map.nwe.empty()) {
        error = "--bus needs addr=, data=, ncs=, noe= and nwe=";
        return false;
    }
    return true;
}

bool bus_hold_parse(const char* text, BusMap& map, std::string& error)
{
    const std::string all = text;
    const size_t equals = all.find('=');
    const std::string level = equals == std::string::npos ? "" : all.substr(equals + 1);
    if (equals == 0 || (level != "0" && level != "1" && level != "z" && level != "Z")) {
        error = "--hold takes PIN=0, PIN=1 or PIN=z, not '" + all + "'";
        return false;
    }
    map.holds.push_back({all.substr(0, equals), static_cast<char>(std::tolower(level[0]))});
    return true;
}
