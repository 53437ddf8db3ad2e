#pragma once

#include <cstddef>
#include <cstdint>

namespace vellumkite {

// A read-only view of part of a file straight from the page cache, without copying it. A file
// that shrinks while mapped would raise SIGBUS where its pages went missing; here they read as
// zeros instead, and shrank() says so. For that the first mapping installs a SIGBUS handler for
// the process that hands every other SIGBUS on to the handler it replaced.
class FileMap {
public:
    FileMap() = default;
    ~FileMap();
    FileMap(const FileMap&) = delete;
    FileMap& operator=(const FileMap&) = delete;

    // Maps [offset, offset + length) of fd (any offset). False when it cannot be mapped here and
    // now (no room among the guarded ranges, the handler replaced by someone else, mmap
    // failing): read the file instead.
    bool map(int fd, std::uint64_t offset, std::size_t length);
    void unmap();

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Readable bytes after data() + size(): the rest of the last page.
    std::size_t slack() const { return slack_; }
    // Whether a page went missing under the view: the file shrank while mapped.
    bool shrank() const;

    // How many mappings the process can guard at once (one per reading thread is needed).
    static constexpr int kSlots = 32;

private:
    void* base_ = nullptr;
    std::size_t mapped_ = 0;
    const char* data_ = nullptr;
    std::size_t size_ = 0, slack_ = 0;
    int slot_ = -1;
};

} // namespace vellumkite
