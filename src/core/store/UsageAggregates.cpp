// The query side of UsageStore: every figure is rebuilt from the held records on each call.
#include "Saturating.hpp"
#include "ToolCategory.hpp"
#include "UsageStore.hpp"

#include <algorithm>
#include <array>

namespace vellumkite {

const std::vector<const Turn*>& UsageStore::byTime() const {
    // Equal times are ordered by key so that every figure is reproducible.
    return turnIndex_.get(turns_, [](const auto& kv) { return &kv.second; });
}

const std::vector<const UsageStore::ResultEntry*>& UsageStore::resultsByTime() const {
    return resultIndex_.get(results_, [](const auto& kv) { return &kv; });
}

const UsageStore::SessionTurns& UsageStore::sessionTurns() const {
    if (!sessionTurnsValid_) {
        sessionTurns_.clear();
        for (const Turn* t : byTime()) // in time order, so each list comes out sorted
            sessionTurns_[t->sessionId].push_back(t);
        sessionTurnsValid_ = true;
    }
    return sessionTurns_;
}

template <typename F> void UsageStore::forEachTurnSince(Instant since, F&& f) const {
    const auto& index = byTime();
    auto it = std::lower_bound(index.begin(), index.end(), since,
                               [](const Turn* t, Instant s) { return t->time < s; });
    for (; it != index.end(); ++it)
        f(**it);
}

std::vector<Turn> UsageStore::turns(Instant since) const {
    std::vector<Turn> out;
    forEachTurnSince(since, [&](const Turn& t) { out.push_back(t); });
    return out;
}

double UsageStore::weightSince(Instant since) const {
    double sum = 0;
    forEachTurnSince(since, [&](const Turn& t) { sum += t.weight(); });
    return sum;
}

namespace {

void add(ChatSummary& s, const Turn& t) {
    // Turns arrive oldest first, so the last one added is the chat's latest.
    s.project = t.project.str();
    s.lastTime = t.time;
    s.size = t.chatSize();
    s.replies += 1;
    s.weight += t.weight();
    s.output = saturatingAdd(s.output, t.output);
}

} // namespace

UsageStore::Memo& UsageStore::memo() const {
    if (memo_.version != version_) {
        memo_ = Memo{};
        memo_.version = version_;
    }
    return memo_;
}

std::vector<ChatSummary> UsageStore::chats(Instant since) const {
    Memo& memo = this->memo();
    if (memo.chatsSince == since)
        return memo.chats;
    std::vector<ChatSummary> out;
    std::unordered_map<Name, std::size_t> slot;
    forEachTurnSince(since, [&](const Turn& t) {
        auto [it, inserted] = slot.try_emplace(t.sessionId, out.size());
        if (inserted) {
            out.emplace_back();
            out.back().sessionId = t.sessionId.str();
        }
        add(out[it->second], t);
    });
    std::sort(out.begin(), out.end(), [](const ChatSummary& a, const ChatSummary& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.sessionId < b.sessionId;
    });
    memo.chatsSince = since;
    memo.chats = out;
    return out;
}

ChatSummary UsageStore::summarize(Name sessionId, Instant since) const {
    ChatSummary s;
    s.sessionId = sessionId.str();
    const auto& chats = sessionTurns();
    const auto chat = chats.find(sessionId);
    if (chat == chats.end())
        return s;
    auto it = std::lower_bound(chat->second.begin(), chat->second.end(), since,
                               [](const Turn* t, Instant at) { return t->time < at; });
    for (; it != chat->second.end(); ++it)
        add(s, **it);
    return s;
}

std::optional<ChatSummary> UsageStore::currentChat() const {
    Memo& memo = this->memo();
    if (!memo.current) {
        const auto& index = byTime();
        // The latest turn; among equal times the greatest key, as the index orders them.
        memo.current = index.empty()
                           ? std::nullopt
                           : std::optional(summarize(index.back()->sessionId, kDistantPast));
    }
    return *memo.current;
}

std::vector<ToolEater> UsageStore::toolEaters(Instant since) const {
    Memo& memo = this->memo();
    if (memo.eatersSince == since)
        return memo.eaters;
    constexpr const auto& labels = ToolCategory::kAll;
    struct Acc {
        std::int64_t calls = 0, tokens = 0, biggest = 0;
        double weight = 0;
        bool seen = false;
    };
    std::array<Acc, labels.size()> acc{};
    const auto& chats = sessionTurns();
    const auto& inOrder = resultsByTime();
    auto from =
        std::lower_bound(inOrder.begin(), inOrder.end(), since,
                         [](const ResultEntry* e, Instant s) { return e->second.time < s; });
    // Summed in time order, so the figures do not depend on the map's layout.
    for (; from != inOrder.end(); ++from) {
        const ToolResult& r = (*from)->second;
        std::int64_t later = 0;
        if (const auto s = chats.find(r.sessionId); s != chats.end()) {
            const auto& v = s->second;
            later =
                v.end() - std::upper_bound(v.begin(), v.end(), r.time,
                                           [](Instant at, const Turn* t) { return at < t->time; });
        }
        // Written into the prompt cache by the next reply, then re-read by every reply after it.
        const double factor =
            1.25 + 0.1 * static_cast<double>(std::max<std::int64_t>(0, later - 1));
        Acc& a = acc[ToolCategory::index(ToolCategory::of(r.tool))];
        a.seen = true;
        a.calls += 1;
        a.tokens = saturatingAdd(a.tokens, r.tokens);
        a.biggest = std::max(a.biggest, r.tokens);
        a.weight += factor * static_cast<double>(r.tokens);
    }
    std::vector<ToolEater> out;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (acc[i].seen)
            out.push_back({std::string(labels[i]), acc[i].calls, acc[i].tokens, acc[i].weight,
                           acc[i].biggest});
    }
    std::sort(out.begin(), out.end(), [](const ToolEater& a, const ToolEater& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.category < b.category;
    });
    memo.eatersSince = since;
    memo.eaters = out;
    return out;
}

double UsageStore::burnRate(double minutes) const {
    const Instant since = addSeconds(clock_(), -60.0 * minutes);
    return weightSince(since) / minutes;
}

} // namespace vellumkite
