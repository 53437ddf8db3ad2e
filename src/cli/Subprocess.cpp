#include "Subprocess.hpp"

#include "Fd.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vellumkite {

namespace {

using Steady = std::chrono::steady_clock;

// Once the command has exited, whatever still holds its output open (a process it left running in
// the background) gets this long before we stop listening.
constexpr auto kGraceAfterExit = std::chrono::milliseconds(200);

class OwnedFd {
public:
    OwnedFd() = default;
    ~OwnedFd() { reset(); }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

bool openPipe(OwnedFd& read, OwnedFd& write) {
    int fds[2];
    if (!Fd::makePipe(fds))
        return false;
    read.reset(fds[0]);
    write.reset(fds[1]);
    return true;
}

// posix_spawnp with the child's stdin and stdout on the given descriptors, in a new process
// group, with default signal handling and nothing blocked whatever the caller set up.
pid_t spawn(char* const argv[], int stdinFd, int stdoutFd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    pid_t pid = -1;
    // The pipe ends are close-on-exec; dup2 gives the child copies that stay open.
    const bool ok = posix_spawn_file_actions_adddup2(&actions, stdinFd, 0) == 0 &&
                    posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1) == 0 &&
                    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                        POSIX_SPAWN_SETSIGMASK) == 0 &&
                    posix_spawnattr_setpgroup(&attr, 0) == 0 &&
                    posix_spawnattr_setsigdefault(&attr, &all) == 0 &&
                    posix_spawnattr_setsigmask(&attr, &none) == 0 &&
                    posix_spawnp(&pid, argv[0], &actions, &attr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return ok ? pid : -1;
}

int millisUntil(Steady::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Steady::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(ms.count(), 0, 60'000));
}

} // namespace

Subprocess::Outcome Subprocess::run(const std::vector<std::string>& argv, std::string_view input,
                                    std::chrono::milliseconds timeout) {
    Outcome out;
    if (argv.empty())
        return out;
    const auto deadline = Steady::now() + timeout;

    OwnedFd inRead, inWrite, outRead, outWrite;
    if (!openPipe(inRead, inWrite) || !openPipe(outRead, outWrite))
        return out;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = spawn(args.data(), inRead.get(), outWrite.get());
    if (pid <= 0)
        return out;
    out.started = true;
    inRead.reset();
    outWrite.reset();
    ::fcntl(inWrite.get(), F_SETFL, O_NONBLOCK);
    ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
    if (input.empty())
        inWrite.reset();

    bool outputDone = false;
    bool exited = false;
    auto stopAt = deadline;
    char buf[16384];
    while (!(outputDone && exited) && Steady::now() < stopAt) {
        // Left unreaped until the end: while it is a zombie its process group's id cannot be
        // given to anyone else, so the group can be killed safely.
        siginfo_t info{};
        if (!exited &&
            ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
            exited = true;
            stopAt = std::min(stopAt, Steady::now() + kGraceAfterExit);
            continue;
        }
        pollfd fds[2];
        nfds_t n = 0;
        if (inWrite.get() >= 0)
            fds[n++] = {inWrite.get(), POLLOUT, 0};
        if (!outputDone)
            fds[n++] = {outRead.get(), POLLIN, 0};
        // Exits are not polled for: look again soon while the command runs.
        const int ready = ::poll(fds, n, std::min(millisUntil(stopAt), outputDone ? 2 : 50));
        if (ready < 0 && errno != EINTR)
            break;
        for (nfds_t i = 0; ready > 0 && i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == inWrite.get()) {
                const ssize_t w = ::write(fds[i].fd, input.data(), input.size());
                if (w > 0)
                    input.remove_prefix(static_cast<std::size_t>(w));
                // A command that does not read its input is no fault of ours.
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || input.empty())
                    inWrite.reset();
            } else {
                const ssize_t r = ::read(fds[i].fd, buf, sizeof buf);
                if (r > 0)
                    out.output.append(
                        buf, std::min(static_cast<std::size_t>(r), kMaxOutput - out.output.size()));
                else if (r == 0 || (errno != EAGAIN && errno != EINTR))
                    outputDone = true;
            }
        }
    }

    // Out of time, or done but with something it started still holding the output: the command
    // and everything in its group go, so that nothing it started outlives its time. What it
    // started with the output sent elsewhere was meant to run on, and does.
    out.timedOut = !exited;
    if (!exited || !outputDone)
        ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (exited && WIFEXITED(status))
        out.exitCode = WEXITSTATUS(status);
    return out;
}

} // namespace vellumkite
