#include "LimitJournalImport.hpp"

#include "FileTime.hpp"
#include "History.hpp"
#include "LimitJournal.hpp"
#include "Limits.hpp"
#include "LogReader.hpp"
#include "UniqueFd.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

// A regular file opened for reading, never through a link and never blocking on a FIFO.
UniqueFd openRegular(const std::filesystem::path& path, struct stat& st) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        fd.reset();
    return fd;
}

LogPosition positionAt(int fd, const struct stat& st, std::uint64_t offset) {
    LogPosition p;
    p.offset = offset;
    p.device = static_cast<std::uint64_t>(st.st_dev);
    p.inode = static_cast<std::uint64_t>(st.st_ino);
    p.print = LogPosition::fingerprint(fd, offset);
    p.size = static_cast<std::uint64_t>(st.st_size);
    p.modified = modificationTime(st);
    return p;
}

std::size_t readOne(History& history, const std::filesystem::path& path) {
    struct stat st {};
    const UniqueFd fd = openRegular(path, st);
    if (!fd)
        return 0;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t start = history.position(path.string()).startIn(fd.get(), st);
    if (start >= size)
        return 0;
    std::size_t taken = 0;
    LogReader reader(std::size_t{1} << 20, Limits::kMaxFileSize + 1);
    const auto end = reader.read(fd.get(), start, size, [&](std::string_view line) {
        const auto reading = LimitReading::parse(line);
        if (!reading || LimitJournal::refusal(line, reading->at))
            return;
        history.takeReading(*reading);
        ++taken;
    });
    // Without a line feed after `start` there is only a line still being written.
    if (end)
        history.advance(path.string(), positionAt(fd.get(), st, *end));
    return taken;
}

// Read to its end as the history stands.
bool readWhole(const History& history, const std::filesystem::path& path, struct stat& st) {
    const UniqueFd fd = openRegular(path, st);
    return fd && history.position(path.string()).startIn(fd.get(), st) ==
                     static_cast<std::uint64_t>(st.st_size);
}

} // namespace

std::size_t LimitJournalImport::read(History& history, const std::filesystem::path& journal) {
    if (journal.empty())
        return 0;
    // The older lines first.
    return readOne(history, LimitJournal::setAsideFile(journal)) + readOne(history, journal);
}

void LimitJournalImport::tidy(History& history, const std::filesystem::path& journal, Instant now) {
    if (journal.empty())
        return;
    const auto aside = LimitJournal::setAsideFile(journal);
    struct stat st {};
    if (readWhole(history, aside, st) &&
        secondsBetween(modificationTime(st), now) >= kSetAsideSeconds)
        ::unlink(aside.c_str());
    if (!readWhole(history, journal, st) ||
        static_cast<std::uint64_t>(st.st_size) <= LimitJournal::kFreshStartSize)
        return;
    // A link, not a rename, so that a journal set aside and not yet removed is never replaced.
    if (::link(journal.c_str(), aside.c_str()) != 0)
        return;
    const LogPosition at = history.position(journal.string());
    if (::unlink(journal.c_str()) != 0) {
        ::unlink(aside.c_str());
        return;
    }
    history.advance(aside.string(), at);
    history.advance(journal.string(), LogPosition{});
}

} // namespace vellumkite
