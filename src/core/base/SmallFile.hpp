#pragma once

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace vellumkite {

// A small file read whole, never blocking: only a regular file is read (a FIFO or a device must
// never stall a caller), and only up to a size limit, also when it grows while being read.
struct SmallFile {
    enum class Problem { none, missing, notRegular, tooLarge, unreadable };

    Problem problem = Problem::none;
    int error = 0;     // the errno value behind `unreadable`
    std::string bytes; // with room for simdjson's padding after them, so it parses in place
    struct stat info {};

    explicit operator bool() const { return problem == Problem::none; }

    static SmallFile read(const std::filesystem::path& path, std::size_t maxSize);
};

} // namespace vellumkite
