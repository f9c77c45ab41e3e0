// SPDX-License-Identifier: Apache-2.0
// The engine of tarnflash for a program of its own (a production station, a test fixture): open a
// cable, describe the board, and run a job on its flash in one call each. The job reports to a
// host of the program's own (events, progress, stop, clock, the answers it may need) and ends
// every call with one outcome. Link tarnflash::engine (find_package(tarnflash)).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jtag/engine_host.h"
#include "jtag/engine_outcome.h"

namespace tarnflash {

// The cables a job can run over.
enum class CableKind : uint8_t {
    parport,    // the parallel port (the first one found, or `port` as its base address, "0x378")
    ftdi,       // an FTDI adapter's MPSSE engine (`serial`, or `config`: an OpenOCD adapter file)
    jlink,      // a J-Link (`serial`)
    cmsis_dap,  // a CMSIS-DAP probe (`serial`)
    gpio,       // a GPIO chip's lines (`port`: "gpiochip0", `config`: "tck=11,tms=25,tdi=10,tdo=9")
    remote,     // a JTAG server over the network (`port`: "xvc:HOST[:PORT]", "remote-bitbang:HOST:PORT" or
                // "remote-bitbang:unix:PATH", as --cable takes them; `khz` for XVC alone)
};

struct CableChoice {
    CableKind kind = CableKind::parport;
    std::string serial{};
    std::string port{};
    std::string config{};
    uint32_t khz = 0;  // the TCK rate; 0 for the cable's own
};

// An open cable, closed (parked, released) when destroyed. Its inside belongs to the engine.
class Cable {
public:
    struct Inside;
    explicit Cable(std::unique_ptr<Inside> inside);
    ~Cable();
    Cable(const Cable&) = delete;
    Cable& operator=(const Cable&) = delete;
    Inside& inside() { return *inside_; }

private:
    std::unique_ptr<Inside> inside_;
};

// Opens the cable `choice` names; nullptr, with the one-line reason in `cause` when given, when
// it cannot be opened.
std::unique_ptr<Cable> open_cable(const CableChoice& choice, std::string* cause = nullptr);

// Where the device sits on the chain when it is not alone: the devices on either side and their
// instruction bits in total (all held in BYPASS).
struct ChainPlace {
    uint32_t devices_before = 0;  // nearer the cable's TDO
    uint32_t devices_after = 0;
    uint32_t ir_before = 0;
    uint32_t ir_after = 0;
};

// The board: a built-in CPU, or a BSDL file with its bus map; the flash by its model and set-up,
// or found by detection. What is left open (0, empty) is asked of the host.
struct Setup {
    std::string cpu{};                // a built-in CPU: "KTR5200", ...
    std::string bsdl{};               // or a BSDL file
    std::string bus{};                // and its bus map: a file, or "addr=...;data=...;..."
    std::vector<std::string> hold{};  // pins held during the job: "nRST=1", "nWP=z"
    ChainPlace chain{};
    std::string flash{};  // a model: "S29GL064M", ...
    bool detect = false;  // find the model and set-up instead
    int bus_width = 0;    // 8 or 16
    int interleave = 0;   // 1 or 2
};

// What detection and identification found.
struct FlashFound {
    Outcome outcome{};
    std::string model{};
    uint16_t maker_id = 0;
    uint16_t device_id = 0;
    uint32_t size = 0;  // bytes
    int32_t block_count = 0;
    int bus_width = 0;
    int interleave = 0;
    bool intel = false;  // the Intel/Sharp command set, else AMD's
};

struct ProgramOptions {
    uint32_t start = 0;
    uint32_t erase_size = 0;    // 0: as much as the image
    bool erase_all = false;     // the whole chip
    bool verify_erase = false;  // erased words the image leaves are read back as erased
    bool unlock = false;        // unlock the protected or locked blocks in the range
    bool unlock_all = false;    // unlock the whole device
    bool update = false;        // read the range first and change only the blocks that differ
};

struct ReadResult {
    Outcome outcome{};
    std::vector<uint8_t> bytes{};
};

// What the last job did, for a station's log.
struct Report {
    std::string cpu{};
    std::string flash_model{};
    std::string stage{};  // the stage it ended in: "chain_check", "identify", "erase", "program", ...
    uint32_t idcode_read = 0;
    uint16_t maker_id = 0;
    uint16_t device_id = 0;
    uint32_t flash_size = 0;
    uint32_t start = 0;
    uint64_t length = 0;
    struct Blocks {
        uint32_t unchanged = 0;
        uint32_t programmed_over = 0;
        uint32_t erased = 0;
    };
    Blocks blocks{};  // an update's blocks: left alone, programmed over, erased
    Outcome outcome{};
    std::string cause{};  // why it did not end ok, one line; empty when it did
};

// Jobs on the flash of one board over one cable. Each call identifies the flash again, runs the
// whole job and leaves the bus released; it returns one outcome whose `detail` (and report().cause)
// says why a job was refused or failed.
class Job {
public:
    Job(Cable& cable, const Setup& setup, Host& host);
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    FlashFound detect();
    // Erases what the image needs (and checks it with verify_erase), programs and verifies.
    Outcome program(std::span<const uint8_t> image, const ProgramOptions& options = {});
    ReadResult read(uint32_t start, uint32_t size);
    Outcome verify(std::span<const uint8_t> image, uint32_t start);
    Outcome erase(uint32_t start, uint32_t size);
    Outcome erase_all();  // the whole chip

    const Report& report() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarnflash
