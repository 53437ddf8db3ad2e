#pragma once

#include <array>
#include <optional>
#include <QString>
#include <string_view>

namespace vellumkite {

// The floating box's three sizes; the raw values are what the preferences store.
enum class BoxSize { small, medium, large };

struct BoxSizes {
    static constexpr std::array<BoxSize, 3> all = {BoxSize::small, BoxSize::medium, BoxSize::large};
    // "small", "medium", "large".
    static std::string_view raw(BoxSize size);
    // Exactly one of the raw values, case included; nothing for anything else.
    static std::optional<BoxSize> fromRaw(std::string_view raw);
    // The raw value with its first letter capitalised: "Small".
    static QString title(BoxSize size);
};

} // namespace vellumkite
