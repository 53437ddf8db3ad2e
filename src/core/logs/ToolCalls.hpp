#pragma once

#include "Name.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vellumkite {

// Tool calls still waiting for their results, by call id, and the one rule by which every reader
// of the logs names a result: after its call when the call is known (the call is answered then,
// and let go), else by the name the result was given when it was read before (a log read again
// from its start brings the result back without its call), else not at all.
class ToolCalls {
public:
    void called(std::string id, Name name) { open_.insert_or_assign(std::move(id), name); }

    std::optional<Name> answer(const std::string& id, std::optional<Name> before) {
        const auto call = open_.find(id);
        if (call == open_.end())
            return before;
        const Name name = call->second;
        open_.erase(call);
        return name;
    }

    bool waiting(std::string_view id) const { return open_.contains(std::string(id)); }
    std::size_t size() const { return open_.size(); }
    bool empty() const { return open_.empty(); }
    void reserve(std::size_t n) { open_.reserve(n); }
    // Lets go of the calls for which `answered(id)` holds.
    template <typename F> void forgetIf(F&& answered) {
        std::erase_if(open_, [&](const auto& kv) { return answered(kv.first); });
    }
    const std::unordered_map<std::string, Name>& open() const { return open_; }

private:
    std::unordered_map<std::string, Name> open_;
};

} // namespace vellumkite
