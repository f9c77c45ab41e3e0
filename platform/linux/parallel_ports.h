// SPDX-License-Identifier: Apache-2.0
// The parallel-port candidates 0x378, 0x278 and 0x3BC on Linux: direct port
// instructions where ioperm grants them (root), else the ppdev driver of the
// kernel's port at that base (/dev/parportN, group lp).
//
// Every ppdev call is checked. A candidate whose open, PPCLAIM or PPDATADIR fails is
// passed over, and the reason names the call. After that, the first failing call is
// kept as the fault, "ppdev PPRSTATUS on /dev/parport0: Input/output error"; from then
// on reads give 0xFF and writes are still tried, so the safe ending can reach a port
// whose writes still work.
//
// PPCLAIM waits while another driver or program holds the port. That wait is bounded
// (claim_wait_ms) and ends at an interrupt, so a busy port is reported, never a silent hang.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define TF_DIRECT_PORT_IO 1
#else
#define TF_DIRECT_PORT_IO 0
#endif

class ParallelPorts {
public:
    static constexpr int kClaimWaitMs = 2000;

    explicit ParallelPorts(int claim_wait_ms = kClaimWaitMs);
    ~ParallelPorts();  // releases what release() has not
    ParallelPorts(const ParallelPorts&) = delete;
    ParallelPorts& operator=(const ParallelPorts&) = delete;

    // nullptr once at least one candidate is reachable, else the reason.
    const char* open();
    // PPRELEASE and close for every ppdev port; a failure becomes the fault.
    void release();
    // The first port access that failed, or nullptr.
    const char* fault() const { return fault_[0] != '\0' ? fault_ : nullptr; }

    // One port write is one TCK edge: the direct path stays a compare and an outb.
    void write(uint16_t port, uint8_t value)
    {
        for (Slot& slot : slots_) {
            uint16_t reg = static_cast<uint16_t>(port - slot.base);
            if (reg > 2)
                continue;
#if TF_DIRECT_PORT_IO
            if (slot.way == Way::direct) {
                outb(value, port);
                return;
            }
#endif
            if (slot.way == Way::ppdev)
                ppdev_write(slot, reg, value);
            return;
        }
    }

    uint8_t read(uint16_t port)
    {
        for (Slot& slot : slots_) {
            uint16_t reg = static_cast<uint16_t>(port - slot.base);
            if (reg > 2)
                continue;
#if TF_DIRECT_PORT_IO
            if (slot.way == Way::direct)
                return inb(port);
#endif
            if (slot.way == Way::ppdev)
                return ppdev_read(slot, reg);
            return 0xFF;
        }
        return 0xFF;
    }

private:
    enum class Way { none, direct, ppdev };
    struct Slot {
        uint16_t base;
        Way way;
        int fd;
        int index;  // of /dev/parportN
    };

    bool open_ppdev(Slot& slot);
    bool claim(int fd, const char* path);
    void ppdev_write(Slot& slot, uint16_t reg, uint8_t value);
    uint8_t ppdev_read(Slot& slot, uint16_t reg);
    void note_fault(const char* call, const Slot& slot);

    Slot slots_[3];
    int claim_wait_ms_;
    char reason_[400] = {};
    char ppdev_problem_[160] = {};
    char fault_[160] = {};
};

// The I/O base of /dev/parport<index> as the kernel reports it, from the text of
// /proc/sys/dev/parport/parportN/base-addr ("888\t0") or of /proc/ioports; 0 if absent.
uint16_t parport_base_from_sysctl(const char* text);
uint16_t parport_base_from_ioports(const char* text, int index);
