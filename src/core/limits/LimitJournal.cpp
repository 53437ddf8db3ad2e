#include "LimitJournal.hpp"

#include "AtomicFile.hpp"
#include "Limits.hpp"
#include "UniqueFd.hpp"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

// The last complete line of the file's end that is a reading, and whether the file ends with a
// line feed.
std::optional<LimitReading> lastReading(int fd, std::uint64_t size, bool& endsWithLine) {
    endsWithLine = true;
    if (size == 0)
        return std::nullopt;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, LimitJournal::kTail));
    std::string tail(n, '\0');
    if (::pread(fd, tail.data(), n, static_cast<off_t>(size - n)) != static_cast<ssize_t>(n)) {
        endsWithLine = false; // unknown: a line feed first costs at most an empty line
        return std::nullopt;
    }
    endsWithLine = tail.back() == '\n';
    std::size_t end = tail.rfind('\n');
    while (end != std::string::npos && end > 0) {
        const std::size_t start = tail.rfind('\n', end - 1);
        // A line cut by the start of the tail is not whole: stop there.
        if (start == std::string::npos && n < size)
            return std::nullopt;
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        if (auto r = LimitReading::parse(std::string_view(tail).substr(from, end - from)))
            return r;
        if (start == std::string::npos)
            break;
        end = start;
    }
    return std::nullopt;
}

} // namespace

std::filesystem::path LimitJournal::file() {
    return beside(Limits::file());
}

std::filesystem::path LimitJournal::beside(const std::filesystem::path& limitsFile) {
    return limitsFile.empty() ? limitsFile : limitsFile.parent_path() / "limit-readings.jsonl";
}

std::filesystem::path LimitJournal::setAsideFile(const std::filesystem::path& journal) {
    auto out = journal;
    out += ".old";
    return out;
}

LimitJournal::Appended LimitJournal::append(const std::filesystem::path& journal,
                                            const LimitReading& reading) {
    if (journal.empty())
        return Appended::failed;
    // O_NONBLOCK: a FIFO planted here must not hold the status line up.
    const auto openJournal = [&] {
        return UniqueFd(::open(journal.c_str(),
                               O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                               0600));
    };
    UniqueFd file = openJournal();
    // The folders are made only when missing: the status line runs after every message.
    if (!file && errno == ENOENT && AtomicFile::makeFolders(journal.parent_path()))
        file = openJournal();
    if (!file)
        return Appended::failed;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return Appended::failed;
    if ((st.st_mode & 07777) != 0600 && ::fchmod(file.get(), 0600) != 0)
        return Appended::failed;
    bool endsWithLine = true;
    const auto last = lastReading(file.get(), static_cast<std::uint64_t>(st.st_size), endsWithLine);
    if (last && last->sameWindows(reading))
        return Appended::unchanged;
    std::string text = endsWithLine ? std::string() : std::string(1, '\n');
    text += reading.line();
    ssize_t written;
    do
        written = ::write(file.get(), text.data(), text.size());
    while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(text.size()) ? Appended::added : Appended::failed;
}

std::optional<std::string> LimitJournal::refusal(std::string_view line, Instant at) {
    // A journal line holds its windows as the limits file does.
    return Limits::refusal(line, at);
}

} // namespace vellumkite
