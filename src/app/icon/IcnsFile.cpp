#include "IcnsFile.hpp"

#include "AtomicFile.hpp"

#include <cerrno>
#include <cstdint>
#include <limits>

namespace vellumkite {

namespace {

constexpr std::uint64_t kHeader = 8; // four-letter type and a 32-bit length

void appendLength(std::string& out, std::uint64_t length) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((length >> shift) & 0xFF));
}

} // namespace

std::optional<std::string> IcnsFile::encode(std::span<const Entry> entries) {
    // Each entry is checked against the room left, so that no sum can wrap around.
    constexpr std::uint64_t kLimit = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t total = kHeader;
    for (const Entry& entry : entries) {
        if (entry.type.size() != 4) {
            errno = EINVAL;
            return std::nullopt;
        }
        const std::uint64_t room = kLimit - total;
        if (room < kHeader || entry.png.size() > room - kHeader) {
            errno = EFBIG;
            return std::nullopt;
        }
        total += kHeader + entry.png.size();
    }
    std::string out;
    out.reserve(total);
    out += "icns";
    appendLength(out, total);
    for (const Entry& entry : entries) {
        out += entry.type;
        appendLength(out, kHeader + entry.png.size());
        out += entry.png;
    }
    return out;
}

bool IcnsFile::write(const std::filesystem::path& path, std::span<const Entry> entries) {
    const std::optional<std::string> bytes = encode(entries);
    return bytes && AtomicFile::replace(path, *bytes, 0644);
}

} // namespace vellumkite
