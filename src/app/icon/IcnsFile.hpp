#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vellumkite {

// Apple's icon file (.icns), holding PNG images: the magic "icns" and the file's length, then for
// each image its four-letter type, its length with that 8-byte header, and the PNG bytes. Every
// number is a big-endian 32-bit length, so nothing in the file may reach 4 GiB.
struct IcnsFile {
    // The types that hold a square PNG, with its side in pixels. The @2x types of a size carry
    // the doubled picture, so a size may appear under two types.
    struct PngType {
        std::string_view code;
        int pixels;
    };
    static constexpr std::array<PngType, 11> kPngTypes = {{{"icp4", 16},
                                                           {"icp5", 32},
                                                           {"icp6", 64},
                                                           {"ic07", 128},
                                                           {"ic08", 256},
                                                           {"ic09", 512},
                                                           {"ic10", 1024},
                                                           {"ic11", 32},
                                                           {"ic12", 64},
                                                           {"ic13", 256},
                                                           {"ic14", 512}}};

    struct Entry {
        std::string_view type; // four characters
        std::string_view png;
    };

    // The file's bytes, entries in the order given. Nothing, with errno EINVAL for a type that is
    // not four characters or EFBIG for a file past the 32-bit lengths, before any byte is copied.
    static std::optional<std::string> encode(std::span<const Entry> entries);

    // Encodes and replaces the file atomically (mode 0644, for a bundle's resources). False, with
    // errno telling why, when encode() refuses or the write fails; nothing is written then.
    [[nodiscard]] static bool write(const std::filesystem::path& path,
                                    std::span<const Entry> entries);
};

} // namespace vellumkite
