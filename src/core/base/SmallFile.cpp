#include "SmallFile.hpp"

#include "UniqueFd.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <simdjson.h>
#include <unistd.h>

namespace vellumkite {

namespace {

SmallFile failed(SmallFile::Problem problem, int error = 0) {
    SmallFile f;
    f.problem = problem;
    f.error = error;
    return f;
}

} // namespace

SmallFile SmallFile::read(const std::filesystem::path& path, std::size_t maxSize) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        return failed(errno == ENOENT ? Problem::missing : Problem::unreadable, errno);
    const int fd = file.get();
    SmallFile out;
    const auto finish = [&](Problem problem, int error = 0) {
        if (problem == Problem::none)
            return std::move(out);
        return failed(problem, error);
    };
    if (::fstat(fd, &out.info) != 0)
        return finish(Problem::unreadable, errno);
    if (!S_ISREG(out.info.st_mode))
        return finish(Problem::notRegular);
    if (out.info.st_size < 0 || static_cast<std::uint64_t>(out.info.st_size) > maxSize)
        return finish(Problem::tooLarge);

    // The size from fstat is only a first guess: a writer may be rewriting the file right now.
    const std::size_t cap = maxSize + 1;
    std::string& buf = out.bytes;
    buf.resize(std::min(cap, static_cast<std::size_t>(out.info.st_size) + 1));
    std::size_t length = 0;
    for (;;) {
        if (length == buf.size()) {
            if (buf.size() == cap)
                break;
            buf.resize(std::min(cap, buf.size() * 2));
        }
        const ssize_t n = ::read(fd, buf.data() + length, buf.size() - length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return finish(Problem::unreadable, errno);
        }
        if (n == 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    if (length > maxSize)
        return finish(Problem::tooLarge);
    buf.reserve(length + simdjson::SIMDJSON_PADDING);
    buf.resize(length);
    return finish(Problem::none);
}

} // namespace vellumkite
