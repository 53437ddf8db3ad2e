#pragma once

// Runs the real programs for the tests, with an environment of the test's choosing (a home in a
// temporary folder, never the real one), on pipes or on a pseudo-terminal.
#include "Fd.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vellumkite::testing {

struct Exit {
    int code = -1;   // the exit status, -1 when killed by a signal
    int signal = 0;  // the signal that ended it, if any
    std::string out; // standard output (and error, on a terminal)
    std::string err; // standard error, on pipes
    double seconds = 0;
};

class Programs {
public:
    explicit Programs(std::vector<std::string> env) : env_(std::move(env)) {
        std::signal(SIGPIPE, SIG_IGN);
    }

    void setEnv(const std::string& name, const std::string& value) {
        for (auto& e : env_)
            if (e.rfind(name + "=", 0) == 0) {
                e = name + "=" + value;
                return;
            }
        env_.push_back(name + "=" + value);
    }

    // Standard input from `input`; kept open after it (never reaching end of input) when
    // `holdInput`, until the program exits. Gives up on a program still running after `limit`.
    Exit run(const std::vector<std::string>& argv, const std::string& input = "",
             bool holdInput = false, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        int in[2], out[2], err[2];
        if (!Fd::makePipe(in) || !Fd::makePipe(out) || !Fd::makePipe(err))
            throw std::runtime_error("pipe");
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = spawn(argv, in[0], out[1], err[1]);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        std::thread writer([&] {
            std::size_t at = 0;
            while (at < input.size()) {
                const ssize_t n = ::write(in[1], input.data() + at, input.size() - at);
                if (n <= 0)
                    break;
                at += static_cast<std::size_t>(n);
            }
            if (!holdInput)
                ::close(in[1]);
        });
        Exit e;
        std::string* sinks[] = {&e.out, &e.err};
        int fds[] = {out[0], err[0]};
        drain(fds, sinks, 2, start + limit, pid);
        e = finish(pid, std::move(e), start);
        writer.join();
        if (holdInput)
            ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        return e;
    }

    // On a pseudo-terminal of the given size. `interact` is called with everything read so far
    // and the terminal's master side each time more output arrives; it may write keys or send
    // signals.
    Exit runOnTerminal(const std::vector<std::string>& argv,
                       const std::function<void(const std::string&, int master, pid_t)>& interact,
                       unsigned short cols = 80, unsigned short rows = 40,
                       std::chrono::seconds limit = std::chrono::seconds(20)) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) || ::unlockpt(master))
            throw std::runtime_error("pty");
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        winsize ws{rows, cols, 0, 0};
        ::ioctl(slave, TIOCSWINSZ, &ws);
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = spawn(argv, slave, slave, slave);
        ::close(slave);
        Exit e;
        std::string* sinks[] = {&e.out};
        int fds[] = {master};
        drain(fds, sinks, 1, start + limit, pid, [&] { interact(e.out, master, pid); });
        e = finish(pid, std::move(e), start);
        ::close(master);
        return e;
    }

private:
    pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err) {
        std::vector<char*> args, envp;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& v : env_)
            envp.push_back(const_cast<char*>(v.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in, 0);
        posix_spawn_file_actions_adddup2(&fa, out, 1);
        posix_spawn_file_actions_adddup2(&fa, err, 2);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, args[0], &fa, &attr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        if (rc != 0)
            throw std::runtime_error("cannot start " + argv[0]);
        return pid;
    }

    // Reads every descriptor to its end (or EIO, a terminal whose other side is gone).
    static void drain(int* fds, std::string** sinks, int n,
                      std::chrono::steady_clock::time_point deadline, pid_t pid,
                      const std::function<void()>& onOutput = {}) {
        std::vector<bool> open(static_cast<std::size_t>(n), true);
        int left = n;
        char buf[65536];
        while (left > 0) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now())
                                .count();
            if (ms <= 0) {
                ::kill(pid, SIGKILL);
                return;
            }
            std::vector<pollfd> p;
            std::vector<int> which;
            for (int i = 0; i < n; ++i)
                if (open[static_cast<std::size_t>(i)]) {
                    p.push_back({fds[i], POLLIN, 0});
                    which.push_back(i);
                }
            if (::poll(p.data(), p.size(), static_cast<int>(std::min<long long>(ms, 100))) <= 0)
                continue;
            for (std::size_t k = 0; k < p.size(); ++k) {
                if (!p[k].revents)
                    continue;
                const ssize_t r = ::read(p[k].fd, buf, sizeof buf);
                if (r > 0) {
                    sinks[which[k]]->append(buf, static_cast<std::size_t>(r));
                    if (onOutput)
                        onOutput();
                } else if (r == 0 || errno != EINTR) {
                    open[static_cast<std::size_t>(which[k])] = false;
                    --left;
                }
            }
        }
    }

    static Exit finish(pid_t pid, Exit e, std::chrono::steady_clock::time_point start) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (WIFEXITED(status))
            e.code = WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            e.signal = WTERMSIG(status);
        return e;
    }

    std::vector<std::string> env_;
};

} // namespace vellumkite::testing
