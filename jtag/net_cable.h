// SPDX-License-Identifier: Apache-2.0
// What the network cables share: the server they talk to, by name in every failure, and the
// round trips they waited for.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jtag/cable.h"
#include "platform/net_stream.h"

class NetCable : public Cable {
public:
    // `kind` names the protocol in messages ("XVC"), `server` the peer ("127.0.0.1:2542").
    NetCable(ByteStream& link, const char* kind, std::string server)
        : link_(link), kind_(kind), server_(std::move(server))
    {}

    const std::string& server() const { return server_; }
    // Times the cable waited for answers from the server.
    uint64_t round_trips() const { return round_trips_; }
    bool answers_late() const override { return true; }
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    void idle(uint32_t clocks) override;
    const char* fault() const override { return fault_.empty() ? nullptr : fault_.c_str(); }

protected:
    // One TCK clock with these TMS and TDI levels; TDO into `dest` (by flush()) when given.
    virtual void clock(int tms, int tdi, char* dest) = 0;
    // Sets the fault ("XVC server 127.0.0.1:2542: closed the connection") once; always false.
    bool fail(const std::string& cause)
    {
        if (fault_.empty())
            fault_ = std::string(kind_) + " server " + server_ + ": " + cause;
        return false;
    }
    bool send(const uint8_t* data, size_t length) { return link_.write(data, length, arrived_) || fail(link_.error()); }
    // Until `arrived_` holds `length` answer bytes.
    bool receive(size_t length)
    {
        const size_t have = arrived_.size();
        if (have >= length)
            return true;
        arrived_.resize(length);
        return link_.read(arrived_.data() + have, length - have) || fail(link_.error());
    }

    ByteStream& link_;
    int tdi_ = 0;                   // TDI where the caller leaves it to the cable
    std::vector<uint8_t> arrived_;  // answers read, from the first one not yet taken
    uint64_t round_trips_ = 0;

private:
    const char* kind_;
    std::string server_;
    std::string fault_;
};
