// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/dap_probes.h"

// A build without one of the libraries has no such link.
#ifndef TARNFLASH_DAP_BULK
std::unique_ptr<DapLink> dap_bulk_link() { return nullptr; }
#endif
#ifndef TARNFLASH_DAP_HID
std::unique_ptr<DapLink> dap_hid_link() { return nullptr; }
#endif

DapProbes::DapProbes(std::unique_ptr<DapLink> bulk, std::unique_ptr<DapLink> hid)
    : bulk_(std::move(bulk)), hid_(std::move(hid))
{}

const char* DapProbes::fail(std::string text)
{
    error_ = std::move(text);
    return error_.c_str();
}

const char* DapProbes::error() const { return open_ != nullptr && error_.empty() ? open_->error() : error_.c_str(); }

// A probe with a bulk interface also shows as HID: the bulk one is kept.
const char* DapProbes::list(std::vector<DapProbeInfo>& found)
{
    std::vector<std::string> paths;
    if (bulk_)
        bulk_->find(found, paths);
    const size_t bulk_count = found.size();
    std::vector<DapProbeInfo> hid;
    if (hid_)
        hid_->find(hid, paths);
    for (const DapProbeInfo& probe : hid) {
        bool twin = false;
        for (size_t i = 0; i < bulk_count; ++i)
            twin = twin || (found[i].id.vendor == probe.id.vendor && found[i].id.product == probe.id.product &&
                            found[i].serial == probe.serial);
        if (!twin)
            found.push_back(probe);
    }
    return nullptr;
}

const char* DapProbes::open(const DapChoice& choice)
{
    close();
    error_.clear();
    std::vector<DapProbeInfo> found;
    std::vector<std::string> paths;
    std::vector<DapLink*> links;
    for (DapLink* link : {bulk_.get(), hid_.get()}) {
        if (link == nullptr)
            continue;
        link->find(found, paths);
        links.resize(found.size(), link);
    }
    std::vector<size_t> matching;
    for (size_t i = 0; i < found.size(); ++i) {
        const DapProbeInfo& p = found[i];
        const bool id_ok =
            choice.id.vendor == 0 || (p.id.vendor == choice.id.vendor && p.id.product == choice.id.product);
        bool twin = false;  // the HID face of a probe already matched through its bulk interface
        for (size_t m : matching)
            twin = twin || (found[m].id.vendor == p.id.vendor && found[m].id.product == p.id.product &&
                            found[m].serial == p.serial);
        if (id_ok && !twin && (choice.serial.empty() || p.serial == choice.serial))
            matching.push_back(i);
    }
    if (matching.empty())
        return fail("no CMSIS-DAP probe found");
    if (matching.size() > 1) {
        std::string names = "several CMSIS-DAP probes plugged in (";
        for (size_t i : matching) {
            names.append(i == matching[0] ? "" : " ").append(usb_id_text(found[i].id));
            if (!found[i].serial.empty())
                names.append("/").append(found[i].serial);
        }
        return fail(names + "): choose one with --cable-serial");
    }
    const size_t i = matching[0];
    probe_ = found[i];
    const std::string what =
        "CMSIS-DAP probe " + usb_id_text(probe_.id) + (probe_.serial.empty() ? "" : " serial " + probe_.serial);
    if (const char* busy = lock_.take(usb_lock_key(probe_.id.vendor, probe_.id.product, probe_.serial), what))
        return fail(busy);
    if (const char* reason = links[i]->open(paths[i], probe_)) {
        lock_.release();
        return fail(reason);
    }
    open_ = links[i];
    packet_size_ = link_packet_size();
    return nullptr;
}

bool DapProbes::write(const uint8_t* packet, size_t length)
{
    error_.clear();
    if (open_ == nullptr)
        return fail("USB write: the probe is not open"), false;
    return open_->write(packet, length, packet_size_);
}

bool DapProbes::read(uint8_t* packet, size_t capacity, size_t& got)
{
    error_.clear();
    got = 0;
    if (open_ == nullptr)
        return fail("USB read: the probe is not open"), false;
    return open_->read(packet, capacity, got);
}

void DapProbes::close()
{
    if (open_ != nullptr)
        open_->close();
    open_ = nullptr;
    lock_.release();
}
