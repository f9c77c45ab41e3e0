// SPDX-License-Identifier: Apache-2.0
// tarnflash-sim [simulator options] -- [tarnflash options]
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/help.h"
#include "app/tool_main.h"
#include "platform/interrupts.h"
#include "sim/adapter_wiring.h"
#include "sim/board.h"
#include "sim/sim_options.h"
#include "sim/sim_platform.h"

namespace {

// A refused command line or board: its one line, and status 2, apart from the tool's 0 and 1.
int refused(const Outcome& outcome)
{
    std::fprintf(stderr, "%s\n", outcome.detail);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // Before anything that takes time (a large flash is filled first): an interrupt at any moment
    // stops the job at its next safe point instead of killing the process.
    interrupts_catch();
    std::vector<std::string> args(argv + 1, argv + argc);
    sim::SimOptions options;
    std::string words;
    if (Outcome parsed = sim::parse_sim_options(args, options, words); !parsed.ok())
        return refused(parsed);
    if (options.help) {
        std::fputs(sim::sim_usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tarnflash-sim %s\n%s", TARNFLASH_VERSION_TEXT, kLicenceLine);
        return 0;
    }

    sim::BoardConfig config;
    std::unique_ptr<sim::VirtualBoard> board_owner;
    if (Outcome made = sim::board_config(options, config, words); !made.ok())
        return refused(made);
    if (Outcome made = sim::VirtualBoard::create(config, board_owner, words); !made.ok())
        return refused(made);
    if (Outcome writable = sim::check_flash_out(options, words); !writable.ok())
        return refused(writable);
    sim::VirtualBoard& board = *board_owner;
    // The adapter board as the tool's configuration describes it; one with a serial number
    // stands for a device another simulator may name too.
    if (sim::AdapterWiring wiring; sim::adapter_wiring_from_tool_args(options.tool_args, wiring))
        board.mpsse().wire(wiring);
    board.mpsse().set_exclusive(!options.usb_serial.empty());
    sim::SimPlatform platform(board, sim::key_setup(options));

    std::string program = "tarnflash";
    std::vector<char*> tool_argv{program.data()};
    std::vector<std::string> tool_args = options.tool_args;
    // The board's cable choice reaches the tool as its own option.
    if (options.usb_cable)
        tool_args.insert(tool_args.begin(), {"--cable", "ftdi"});
    if (options.dap_cable)
        tool_args.insert(tool_args.begin(), {"--cable", "cmsis-dap"});
    for (std::string& arg : tool_args)
        tool_argv.push_back(arg.data());
    tool_argv.push_back(nullptr);

    int status = options.serve.kind != sim::ServeChoice::Kind::none
                     ? sim::serve_board(options.serve, options.port_ns, board)
                     : tool_main(static_cast<int>(tool_argv.size() - 1), tool_argv.data(), platform);
    // The board's clock ran at --port-ns per port access: the tool's elapsed time is what the
    // job would take on real hardware of that speed, and nothing else says so.
    if (platform.elapsed_time_printed())
        std::fputs(sim::elapsed_time_note(options).c_str(), stdout);
    std::fflush(stdout);

    if (options.stats)
        std::fputs(sim::stats_text(board).c_str(), stderr);
    if (Outcome written = sim::write_flash_out(options, board, words); !written.ok())
        return refused(written);
    return status;
}
