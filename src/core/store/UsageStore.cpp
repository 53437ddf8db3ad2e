#include "UsageStore.hpp"

#include "Saturating.hpp"

#include <algorithm>

namespace vellumkite {

namespace {

const Name kUnknown("?");

} // namespace

class UsageStore::Feed final : public LogPass::Reader {
public:
    explicit Feed(UsageStore& store) : store_(store) {}
    void begin() override { store_.begin(); }
    std::optional<LogPosition> wants(const std::string& path,
                                     const LogDirectory::Entry& listed) override {
        return store_.wants(path, listed);
    }
    void expect(std::uint64_t bytes) override { store_.expect(bytes); }
    void take(const ParsedLine& line) override { store_.file(ParsedLine(line)); }
    void take(ParsedLine&& line) override { store_.file(std::move(line)); }
    void advance(const std::string& path, const LogPosition& position) override {
        store_.offsets_.insert_or_assign(path, position);
    }
    void end() override { store_.prune(store_.cutoff_); }

private:
    UsageStore& store_;
};

UsageStore::UsageStore(double lookback, Clock clock)
    : lookback_(lookback), clock_(std::move(clock)), feed_(std::make_unique<Feed>(*this)) {}

UsageStore::UsageStore(std::vector<std::filesystem::path> roots, double lookback, Clock clock)
    : UsageStore(lookback, std::move(clock)) {
    ownPass_ = std::make_unique<LogPass>(std::move(roots));
}

UsageStore::UsageStore(std::filesystem::path root, double lookback, Clock clock)
    : UsageStore(std::vector{std::move(root)}, lookback, std::move(clock)) {}

UsageStore::~UsageStore() = default;

LogPass::Reader& UsageStore::reader() {
    return *feed_;
}

void UsageStore::setParseThreads(unsigned threads) {
    if (ownPass_)
        ownPass_->setThreads(threads);
}

bool UsageStore::refresh() {
    if (ownPass_) {
        lastPass_ = ownPass_->run({feed_.get()});
    } else {
        begin();
        prune(cutoff_);
        lastPass_ = {};
    }
    return took_;
}

void UsageStore::begin() {
    cutoff_ = addSeconds(clock_(), -lookback_);
    took_ = false;
}

std::optional<LogPosition> UsageStore::wants(const std::string& path,
                                             const LogDirectory::Entry& listed) {
    // Only the logs changed inside the window can hold records for it.
    if (listed.modified < cutoff_)
        return std::nullopt;
    LogPosition at;
    if (const auto it = offsets_.find(path); it != offsets_.end())
        at = it->second;
    if (at.upToDate(listed))
        return std::nullopt;
    return at;
}

void UsageStore::expect(std::uint64_t bytes) {
    // A big first pass: make room at once rather than rehash the maps as they grow. A reply and
    // its results take a few kilobytes of log at the least.
    constexpr std::uint64_t kBig = std::uint64_t{8} << 20;
    if (!turns_.empty() || bytes < kBig)
        return;
    const auto expected = static_cast<std::size_t>(bytes / 8192);
    turns_.reserve(expected);
    results_.reserve(expected);
    calls_.reserve(expected);
}

template <typename Line> void UsageStore::file(Line&& parsed) {
    const Instant cutoff = cutoff_;
    if (auto* reply = std::get_if<TurnLine>(&parsed)) {
        for (auto& call : reply->toolIds)
            calls_.called(std::move(call.id), call.name);
        filedCalls_ = filedCalls_ || !reply->toolIds.empty();
        Turn& turn = reply->turn;
        if (turn.time < cutoff)
            return;
        auto [it, inserted] = turns_.try_emplace(turn.key);
        if (inserted) {
            // The key is kept once, in the turn; the map's key views it.
            it->second = std::move(turn);
            auto node = turns_.extract(it);
            node.key() = node.mapped().key;
            it = turns_.insert(std::move(node)).position;
            turnIndex_.add(&it->second);
            if (sessionTurnsValid_) {
                auto& chat = sessionTurns_[it->second.sessionId];
                chat.insert(std::upper_bound(chat.begin(), chat.end(), &it->second, TurnOrder{}),
                            &it->second);
            }
        } else {
            it->second.absorb(std::move(turn));
        }
        took_ = true;
        ++version_;
        return;
    }
    auto& batch = std::get<ResultsLine>(parsed);
    if (batch.time < cutoff)
        return;
    filedResults_ = true;
    for (auto& r : batch.results) {
        std::optional<Name> before;
        if (const auto filed = results_.find(r.toolId); filed != results_.end())
            before = filed->second.tool;
        const Name tool = calls_.answer(r.toolId, before).value_or(kUnknown);
        ToolResult result{batch.sessionId, batch.time, tool, r.tokens};
        auto [it, inserted] = results_.insert_or_assign(std::move(r.toolId), std::move(result));
        if (inserted)
            resultIndex_.add(&*it);
        else
            resultIndex_.invalidate(); // a replaced result may have moved in time
    }
    took_ = true;
    ++version_;
}

void UsageStore::prune(Instant cutoff) {
    // Records leave the window oldest first, so they are a prefix of the time-ordered views.
    const auto& turnsInOrder = byTime();
    std::size_t oldTurns = 0;
    while (oldTurns < turnsInOrder.size() && turnsInOrder[oldTurns]->time < cutoff)
        ++oldTurns;
    for (std::size_t i = 0; i < oldTurns; ++i) {
        const Turn* t = turnsInOrder[i];
        if (sessionTurnsValid_) {
            const auto s = sessionTurns_.find(t->sessionId);
            auto& chat = s->second;
            chat.erase(std::lower_bound(chat.begin(), chat.end(), t, TurnOrder{}));
            if (chat.empty())
                sessionTurns_.erase(s);
        }
        turns_.erase(turns_.find(std::string_view(t->key)));
    }
    turnIndex_.dropFront(oldTurns);

    const auto& resultsInOrder = resultsByTime();
    std::size_t oldResults = 0;
    while (oldResults < resultsInOrder.size() && resultsInOrder[oldResults]->second.time < cutoff)
        ++oldResults;
    for (std::size_t i = 0; i < oldResults; ++i)
        results_.erase(std::string(resultsInOrder[i]->first));
    resultIndex_.dropFront(oldResults);

    if (oldTurns > 0 || oldResults > 0)
        ++version_;

    // A call read after its result was filed is answered already; skip the walk when nothing
    // was filed.
    if (filedResults_ || filedCalls_)
        calls_.forgetIf([&](const std::string& id) { return results_.contains(id); });
    filedResults_ = filedCalls_ = false;
}

std::optional<std::uint64_t> UsageStore::offset(const std::filesystem::path& file) const {
    const auto it = offsets_.find(file.string());
    if (it == offsets_.end())
        return std::nullopt;
    return it->second.offset;
}

} // namespace vellumkite
