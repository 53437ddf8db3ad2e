#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vellumkite {

// A sorted view over the records of a node-based map (whose element addresses are stable).
// Records added since the last read are merged in, not re-sorted with the rest, so that a pass
// that files a few replies into a store of a hundred thousand stays cheap.
template <typename Node, typename Less> class TimeIndex {
public:
    void add(const Node* node) {
        if (!stale_)
            pending_.push_back(node);
    }
    // The next read rebuilds from the map (a record changed its place).
    void invalidate() {
        stale_ = true;
        pending_.clear();
    }

    template <typename Map, typename Project>
    const std::vector<const Node*>& get(const Map& map, Project project) {
        const Less less;
        if (stale_) {
            sorted_.clear();
            sorted_.reserve(map.size());
            for (const auto& element : map)
                sorted_.push_back(project(element));
            std::sort(sorted_.begin(), sorted_.end(), less);
            stale_ = false;
        } else if (!pending_.empty()) {
            std::sort(pending_.begin(), pending_.end(), less);
            const auto oldSize = static_cast<std::ptrdiff_t>(sorted_.size());
            const bool appendOnly = sorted_.empty() || !less(pending_.front(), sorted_.back());
            sorted_.insert(sorted_.end(), pending_.begin(), pending_.end());
            if (!appendOnly)
                std::inplace_merge(sorted_.begin(), sorted_.begin() + oldSize, sorted_.end(), less);
        }
        pending_.clear();
        return sorted_;
    }

    // Forgets the first n records of the last read (they were removed from the map).
    void dropFront(std::size_t n) {
        sorted_.erase(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(n));
    }

private:
    bool stale_ = true;
    std::vector<const Node*> sorted_;
    std::vector<const Node*> pending_;
};

} // namespace vellumkite
