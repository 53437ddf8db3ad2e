#include "Name.hpp"

#include <mutex>
#include <ostream>
#include <unordered_set>

namespace vellumkite {

namespace {

const std::string kEmpty;

struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

struct Names {
    std::mutex mutex;
    std::unordered_set<std::string, Hash, std::equal_to<>> texts; // nodes never move
};

// Never destroyed: names may be read until the very end of the process.
Names& names() {
    static Names* all = new Names;
    return *all;
}

} // namespace

Name::Name() noexcept : text_(&kEmpty) {}

Name::Name(std::string_view text) : text_(&kEmpty) {
    if (text.empty())
        return;
    Names& all = names();
    std::lock_guard lock(all.mutex);
    auto it = all.texts.find(text);
    if (it == all.texts.end())
        it = all.texts.emplace(text).first;
    text_ = &*it;
}

std::ostream& operator<<(std::ostream& out, Name name) {
    return out << name.str();
}

} // namespace vellumkite
