// SPDX-License-Identifier: Apache-2.0
#include <algorithm>

#include "app/probe_cables.h"
#include "jtag/jlink_cable.h"
#include "jtag/number_text.h"
#include "platform/console.h"
#include "platform/jaylink_transport.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kDefaultTckHz = 4'000'000;

RunEnd refuse(const std::string& reason)
{
    con_printf("%s\n", reason.c_str());
    return process_end(1);
}

JaylinkTransport* probe_or_say()
{
    JaylinkTransport* probe = platform().jaylink_transport();
    if (probe == nullptr)
        con_printf("This build has no J-Link cable: it was built without libjaylink\n");
    return probe;
}

// The serial number of the one J-Link to open: the one named, or the only one plugged in.
Ending choose(JaylinkTransport& probe, const char* named, uint32_t& serial)
{
    uint32_t wanted = 0;
    if (named != nullptr && !parse_digits(named, wanted))
        return refuse(std::string("bad --cable-serial '") + named + "' (a J-Link's serial number, as 123456789)");
    std::vector<uint32_t> found;
    if (const char* reason = probe.list(found))
        return refuse(reason);
    if (named != nullptr) {
        if (std::find(found.begin(), found.end(), wanted) == found.end())
            return refuse(std::string("no J-Link with serial ") + named + " found");
        serial = wanted;
        return {};
    }
    if (found.empty())
        return refuse("no J-Link found");
    if (found.size() > 1)
        return refuse(jaylink_several_text(found));
    serial = found.front();
    return {};
}

}  // namespace

Ending open_jlink_cable(const LongOptions& o, std::unique_ptr<Cable>& opened)
{
    uint32_t tck_hz = kDefaultTckHz;
    if (o.tck_hz != nullptr && (!parse_digits(o.tck_hz, tck_hz) || tck_hz == 0))
        return refuse("bad --tck-hz (a frequency in Hz, as 4000000)");
    JaylinkTransport* probe = probe_or_say();
    if (probe == nullptr)
        return process_end(1);
    uint32_t serial = 0;
    if (Ending end = choose(*probe, o.cable_serial, serial))
        return end;
    auto cable = std::make_unique<JlinkCable>(*probe);
    if (const char* reason = cable->open(serial, tck_hz))
        return refuse(reason);
    // The probe runs at the nearest speed it has at or below the one asked for: say which.
    con_printf("J-Link %u: TCK %u kHz\n", static_cast<unsigned>(serial), static_cast<unsigned>(cable->tck_hz() / 1000));
    if (cable->tck_hz() < tck_hz / 1000 * 1000)
        con_printf("(--tck-hz %u is above the probe's maximum, %u Hz)\n", static_cast<unsigned>(tck_hz),
                   static_cast<unsigned>(cable->max_tck_hz()));
    opened = std::move(cable);
    return {};
}

int jlink_list()
{
    JaylinkTransport* probe = probe_or_say();
    if (probe == nullptr)
        return 1;
    std::vector<uint32_t> found;
    if (const char* reason = probe->list(found)) {
        con_printf("%s\n", reason);
        return 1;
    }
    if (found.empty()) {
        con_printf("no J-Link found\n");
        return 1;
    }
    for (uint32_t serial : found)
        con_printf("J-Link %u\n", static_cast<unsigned>(serial));
    return 0;
}
