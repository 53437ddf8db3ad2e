#include "Limits.hpp"

#include "FileTime.hpp"
#include "UserFolders.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <simdjson.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellumkite {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The file's bytes followed by simdjson's padding, and its modification time. Nothing for
// anything but a regular file (a FIFO or a device must never stall the refresh) or for a file
// over the size limit, also one that grows past it while being read.
struct Contents {
    std::vector<char> bytes; // size() includes the padding
    std::size_t length = 0;
    Instant modified;
};

std::optional<Contents> readSmallRegularFile(const std::filesystem::path& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > Limits::kMaxFileSize)
        return std::nullopt;

    Contents out;
    out.modified = modificationTime(st);
    // The size from fstat is only a first guess: the writer may be rewriting the file right now.
    constexpr std::size_t cap = Limits::kMaxFileSize + 1;
    std::vector<char>& buf = out.bytes;
    buf.resize(std::min(cap, static_cast<std::size_t>(st.st_size) + 1));
    for (;;) {
        if (out.length == buf.size()) {
            if (buf.size() == cap)
                break;
            buf.resize(std::min(cap, buf.size() * 2));
        }
        const ssize_t n = ::read(fd.get(), buf.data() + out.length, buf.size() - out.length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        out.length += static_cast<std::size_t>(n);
    }
    if (out.length > Limits::kMaxFileSize)
        return std::nullopt;
    buf.resize(out.length + simdjson::SIMDJSON_PADDING);
    return out;
}

std::optional<Limits::Window> readWindow(simdjson::dom::object rateLimits, std::string_view name,
                                         const Clock& clock) {
    simdjson::dom::object window;
    if (rateLimits[name].get_object().get(window) != simdjson::SUCCESS)
        return std::nullopt;
    double used = 0;
    double resets = 0;
    if (window["used_percentage"].get_double().get(used) != simdjson::SUCCESS ||
        window["resets_at"].get_double().get(resets) != simdjson::SUCCESS)
        return std::nullopt;
    const Limits::Window w{used, fromUnixSeconds(resets)};
    const Instant now = clock ? clock() : systemNow();
    // Once the reset time has come the window is over and its old percentage no longer applies.
    if (!(w.resetsAt > now))
        return std::nullopt;
    return w;
}

} // namespace

std::filesystem::path Limits::file() {
    const auto folder = UserFolders::appData();
    return folder.empty() ? folder : folder / "statusline.json";
}

std::optional<Limits> Limits::load(const std::filesystem::path& path, const Clock& clock) {
    if (path.empty())
        return std::nullopt;
    const auto contents = readSmallRegularFile(path);
    if (!contents)
        return std::nullopt;

    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser
            .parse(reinterpret_cast<const std::uint8_t*>(contents->bytes.data()), contents->length,
                   false)
            .get(root) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::object top;
    if (root.get_object().get(top) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::object rateLimits;
    if (top["rate_limits"].get_object().get(rateLimits) != simdjson::SUCCESS)
        return std::nullopt;

    Limits limits;
    limits.savedAt = contents->modified;
    limits.fiveHour = readWindow(rateLimits, "five_hour", clock);
    limits.sevenDay = readWindow(rateLimits, "seven_day", clock);
    return limits;
}

} // namespace vellumkite
