// SPDX-License-Identifier: Apache-2.0
#include "python/tool_run.h"

#include <csignal>

#include "app/tool_main.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace {

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// The caller's handlers (Python's, for one), put back however the run ends.
class SavedHandlers {
public:
    SavedHandlers()
    {
        for (size_t i = 0; i < std::size(kCaught); ++i)
            sigaction(kCaught[i], nullptr, &saved_[i]);
    }
    ~SavedHandlers()
    {
        for (size_t i = 0; i < std::size(kCaught); ++i)
            sigaction(kCaught[i], &saved_[i], nullptr);
    }
    SavedHandlers(const SavedHandlers&) = delete;
    SavedHandlers& operator=(const SavedHandlers&) = delete;

private:
    struct sigaction saved_[std::size(kCaught)] = {};
};

}  // namespace

ToolRun run_tool_in_process(StationPlatform& station, const std::vector<std::string>& args)
{
    std::vector<std::string> words{"tarnflash"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    ToolRun run;
    Platform* before = platform_installed();
    interrupts_reset();
    {
        SavedHandlers saved;
        run.status = tool_main(static_cast<int>(words.size()), argv.data(), station);
        if (const char* name = interrupt_requested())
            run.interrupt = name;
    }
    interrupts_reset();
    platform_install(before);  // not left pointing at the caller's platform, gone after the job
    run.stopped = station.stop_requested();
    run.log = station.log();
    return run;
}
