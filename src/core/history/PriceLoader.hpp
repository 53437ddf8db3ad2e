#pragma once

#include "PriceTable.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vellumkite {

// The price book of a program that runs for days: read again when one of its files changes
// (a user's `prices import`), and each file that cannot be taken named once, with the reason.
class PriceLoader {
public:
    using Say = std::function<void(const std::string&)>;
    explicit PriceLoader(Say say) : say_(std::move(say)) {}

    const PriceTable& current();

private:
    struct Stamp {
        bool exists = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        bool operator==(const Stamp&) const = default;
    };
    static std::vector<Stamp> stamps();

    Say say_;
    std::optional<PriceTable> table_;
    std::vector<Stamp> stamps_;
    std::set<std::string> said_;
};

} // namespace vellumkite
