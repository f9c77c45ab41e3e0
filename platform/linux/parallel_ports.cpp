#include "platform/linux/parallel_ports.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
constexpr int kMaxParports = 8;

// Reads a small text file whole; false if it cannot be read.
bool read_text(const char* path, char* text, size_t size)
{
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    size_t got = std::fread(text, 1, size - 1, file);
    text[got] = '\0';
    std::fclose(file);
    return true;
}

uint16_t kernel_base(int index)
{
    static char text[16384];
    char path[64];
    std::snprintf(path, sizeof path, "/proc/sys/dev/parport/parport%d/base-addr", index);
    if (read_text(path, text, sizeof text)) {
        if (uint16_t base = parport_base_from_sysctl(text))
            return base;
    }
    if (read_text("/proc/ioports", text, sizeof text))
        return parport_base_from_ioports(text, index);
    return 0;
}

}  // namespace

uint16_t parport_base_from_sysctl(const char* text)
{
    char* end = nullptr;
    unsigned long base = std::strtoul(text, &end, 10);
    if (end == text || base == 0 || base > 0xFFFF)
        return 0;
    return static_cast<uint16_t>(base);
}

uint16_t parport_base_from_ioports(const char* text, int index)
{
    // Lines like "  0378-037a : parport0"; the name must end there (parport1 is not parport10).
    char name[24];
    std::snprintf(name, sizeof name, "parport%d", index);
    size_t name_length = std::strlen(name);
    for (const char* line = text; *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        size_t length = end ? static_cast<size_t>(end - line) : std::strlen(line);
        const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
        if (colon != nullptr) {
            const char* label = colon + 1;
            while (*label == ' ')
                ++label;
            size_t rest = length - static_cast<size_t>(label - line);
            if (rest == name_length && std::strncmp(label, name, name_length) == 0) {
                const char* digits = line;
                while (*digits == ' ')
                    ++digits;
                char* stop = nullptr;
                unsigned long base = std::strtoul(digits, &stop, 16);
                if (stop != digits && *stop == '-' && base != 0 && base <= 0xFFFF)
                    return static_cast<uint16_t>(base);
            }
        }
        line += length;
        if (*line == '\n')
            ++line;
    }
    return 0;
}

ParallelPorts::ParallelPorts()
{
    for (size_t i = 0; i < 3; ++i)
        slots_[i] = Slot{kCandidates[i], Way::none, -1};
}

ParallelPorts::~ParallelPorts()
{
    for (Slot& slot : slots_) {
        if (slot.way == Way::ppdev) {
            ioctl(slot.fd, PPRELEASE);
            close(slot.fd);
        }
    }
}

bool ParallelPorts::open_ppdev(Slot& slot)
{
    for (int index = 0; index < kMaxParports; ++index) {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/parport%d", index);
        if (access(path, F_OK) != 0)
            continue;
        if (kernel_base(index) != slot.base) {
            if (ppdev_problem_[0] == '\0')
                std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "%s is not at a known LPT base", path);
            continue;
        }
        int fd = ::open(path, O_RDWR);
        if (fd < 0) {
            std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "%s: %s", path, std::strerror(errno));
            continue;
        }
        if (ioctl(fd, PPCLAIM) != 0) {
            std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "%s: claim: %s", path, std::strerror(errno));
            close(fd);
            continue;
        }
        int forward = 0;
        ioctl(fd, PPDATADIR, &forward);  // drive the data lines
        slot.way = Way::ppdev;
        slot.fd = fd;
        return true;
    }
    return false;
}

const char* ParallelPorts::open()
{
    char ioperm_problem[80] = "not available on this processor";
    bool reachable = false;
    for (Slot& slot : slots_) {
        if (slot.way != Way::none) {
            reachable = true;
            continue;
        }
#if TF_DIRECT_PORT_IO
        if (ioperm(slot.base, 3, 1) == 0) {
            slot.way = Way::direct;
            reachable = true;
            continue;
        }
        std::snprintf(ioperm_problem, sizeof ioperm_problem, "%s", std::strerror(errno));
#endif
        if (open_ppdev(slot))
            reachable = true;
    }
    if (reachable)
        return nullptr;
    std::snprintf(reason_, sizeof reason_,
                  "Cannot access the parallel port: ioperm: %s; %s. Run as root, or as a member "
                  "of the lp group with /dev/parportN present",
                  ioperm_problem, ppdev_problem_[0] ? ppdev_problem_ : "no /dev/parportN found");
    return reason_;
}

void ParallelPorts::ppdev_write(Slot& slot, uint16_t reg, uint8_t value)
{
    // Only the data register is ever written; status is read-only.
    if (reg == 0)
        ioctl(slot.fd, PPWDATA, &value);
}

uint8_t ParallelPorts::ppdev_read(Slot& slot, uint16_t reg)
{
    unsigned char value = 0xFF;
    if (reg == 0)
        ioctl(slot.fd, PPRDATA, &value);
    else if (reg == 1)
        ioctl(slot.fd, PPRSTATUS, &value);
    else
        ioctl(slot.fd, PPRCONTROL, &value);
    return value;
}
