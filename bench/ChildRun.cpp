#include "ChildRun.hpp"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vellumkite::bench {

ChildRun::Outcome ChildRun::run(const std::vector<std::string>& argv,
                                const std::vector<std::pair<std::string, std::string>>& environment,
                                const std::string& errors) {
    Outcome out;
    if (argv.empty())
        return out;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        bool replaced = false;
        for (const auto& [name, value] : environment)
            replaced =
                replaced || (entry.size() > name.size() && entry.substr(0, name.size()) == name &&
                             entry[name.size()] == '=');
        if (!replaced)
            env.emplace_back(entry);
    }
    for (const auto& [name, value] : environment)
        env.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvCopy = argv;
    for (auto& a : argvCopy)
        args.push_back(a.data());
    args.push_back(nullptr);

    int pipefd[2];
    if (::pipe(pipefd) != 0)
        return out;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    posix_spawn_file_actions_addclose(&actions, pipefd[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        return out;
    }
    out.started = true;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(pipefd[0], buf, sizeof buf);
        if (n > 0)
            out.output.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(pipefd[0]);
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    out.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto secs = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    out.cpu = secs(usage.ru_utime) + secs(usage.ru_stime);
    out.peakMb = usage.ru_maxrss / 1024.0; // KiB on Linux
    if (WIFEXITED(status))
        out.exitCode = WEXITSTATUS(status);
    return out;
}

} // namespace vellumkite::bench
