// The parallel-port candidates 0x378, 0x278 and 0x3BC on Linux: direct port
// instructions where ioperm grants them (root), else the ppdev driver of the
// kernel's port at that base (/dev/parportN, group lp).
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
    ParallelPorts();
    ~ParallelPorts();
    ParallelPorts(const ParallelPorts&) = delete;
    ParallelPorts& operator=(const ParallelPorts&) = delete;

    // nullptr once at least one candidate is reachable, else the reason.
    const char* open();

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
    };

    bool open_ppdev(Slot& slot);
    static void ppdev_write(Slot& slot, uint16_t reg, uint8_t value);
    static uint8_t ppdev_read(Slot& slot, uint16_t reg);

    Slot slots_[3];
    char reason_[320] = {};
    char ppdev_problem_[128] = {};
};

// The I/O base of /dev/parport<index> as the kernel reports it, from the text of
// /proc/sys/dev/parport/parportN/base-addr ("888\t0") or of /proc/ioports; 0 if absent.
uint16_t parport_base_from_sysctl(const char* text);
uint16_t parport_base_from_ioports(const char* text, int index);
