// SPDX-License-Identifier: Apache-2.0
#include "tests/support/guarded_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <glob.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool parallel_port_device_present()
{
    glob_t found = {};
    bool any = glob("/dev/parport*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

}  // namespace

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

GuardedRun::GuardedRun()
{
    char folder[] = "/tmp/tarnflash-shim-XXXXXX";
    dir_ = mkdtemp(folder);
    chmod(dir_.c_str(), 0777);  // a process that gave up root still writes its files here
}

GuardedRun::~GuardedRun() { std::filesystem::remove_all(dir_); }

void GuardedRun::start(const std::vector<std::string>& args, std::vector<std::string> env, const RunSetup& setup)
{
    env.push_back("TARNFLASH_LOCK_DIR=" + dir_);  // runs side by side must not hold each other's port
    if ((shim_ = setup.shim)) {
        env.emplace_back("LD_PRELOAD=" PPDEV_SHIM_PATH);
        env.push_back("TARNFLASH_SHIM_MARKER=" + path("marker"));
        env.push_back("TARNFLASH_SHIM_STATS=" + path("stats"));
        std::filesystem::remove(path("marker"));
        // A preloaded library is not loaded into a program started with its user ids apart.
        if (setup.setuid_user != nullptr)
            env.push_back(std::string("TARNFLASH_SHIM_SETUID=") + setup.setuid_user);
    }
    std::vector<char*> argv, envp;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    for (const std::string& entry : env)
        if (!entry.empty())
            envp.push_back(const_cast<char*>(entry.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    std::string output = path("output");
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ != 0)
        return;
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int in = setup.input >= 0 ? setup.input : open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || dup2(in, 0) < 0 || dup2(setup.output >= 0 ? setup.output : out, 1) < 0 ||
        dup2(out, 2) < 0 || chdir(dir_.c_str()) != 0)
        _exit(126);
    prctl(PR_CAPBSET_DROP, CAP_SYS_RAWIO, 0, 0, 0);
    if (setup.drop >= 0)
        prctl(PR_CAPBSET_DROP, setup.drop, 0, 0, 0);
    if (prctl(PR_CAPBSET_READ, CAP_SYS_RAWIO, 0, 0, 0) != 0 || parallel_port_device_present()) {
        dprintf(2, "guard: CAP_SYS_RAWIO still there, or a parallel-port device: not run\n");
        _exit(126);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

void GuardedRun::send(int signal_number) const { kill(pid_, signal_number); }

RunResult GuardedRun::finish()
{
    int status = 0;
    pid_t done = 0;
    for (int ms = 0; (done = waitpid(pid_, &status, WNOHANG)) == 0 && ms < 60'000; ms += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        ADD_FAILURE() << "still running after a minute: killed";
    }
    if (shim_ && read_file(path("marker")).find("ppdev_shim loaded") == std::string::npos)
        ADD_FAILURE() << "ppdev_shim did not load: this run proves nothing";
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), read_file(path("output")),
            read_file(path("stats"))};
}

RunResult GuardedRun::run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                          const RunSetup& setup)
{
    start(args, env, setup);
    return finish();
}
