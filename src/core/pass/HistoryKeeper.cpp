#include "HistoryKeeper.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"
#include "UsageStore.hpp"

#include <algorithm>

namespace vellumkite {

HistoryKeeper::HistoryKeeper(std::filesystem::path file, Say say)
    : file_(std::move(file)), say_(std::move(say)) {}

HistoryKeeper::~HistoryKeeper() = default;

void HistoryKeeper::attach(UsageStore& store) {
    open(store, true);
}

void HistoryKeeper::open(UsageStore& store, bool check) {
    store.setHistory(nullptr, 0);
    history_.reset();
    auto opened = HistoryDatabase::open(file_, check);
    if (!opened.message.empty() && say_)
        say_(opened.message);
    status_ = {};
    if (!opened.db) {
        status_.message = opened.status == HistoryDatabase::Status::newer
                              ? "History is off: its database was written by a newer version of "
                                "Vellumkite."
                              : "History is off: " + opened.message;
        return;
    }
    history_ = std::make_unique<History>(std::move(*opened.db));
    store.setHistory(history_.get(), kImportBytesPerPass);
    status_.available = true;
    importTotal_ = 0;
    passes_ = 0;
}

void HistoryKeeper::afterPass(UsageStore& store) {
    if (!history_)
        return;
    // One transaction a pass; one that cannot be written is read again next time.
    (void)history_->commit();
    if (history_->damaged()) {
        // The lines of a database set aside are read again: the store reads the logs anew for
        // the new one, from the next pass on.
        const std::string notice = HistoryDatabase::setAside(file_);
        if (say_)
            say_(notice);
        open(store, false);
        return;
    }
    ++passes_;
    // The first pass reads the window only; the import starts with the second, and its size is
    // what the listing found then.
    const auto backlog = store.historyBacklog();
    if (passes_ == 1) {
        importTotal_ = backlog.bytes;
        status_.import = backlog.files ? std::optional(0.0) : std::nullopt;
        return;
    }
    if (backlog.files == 0 || importTotal_ == 0) {
        status_.import.reset();
        return;
    }
    const double done =
        1.0 - static_cast<double>(backlog.bytes) / static_cast<double>(importTotal_);
    status_.import = std::clamp(done, 0.0, 0.99);
}

std::optional<HistoryOverview> HistoryKeeper::overview(Instant now,
                                                       const std::optional<Limits::Window>& weekly,
                                                       const TimeOfDayFormatter& dayAndTime,
                                                       const PriceTable& prices) const {
    if (!history_)
        return std::nullopt;
    // A book with a new band threshold: the sums are kept apart at it from now on.
    (void)PromptBands::splitAt(history_->database(), prices.thresholds());
    return HistoryOverview::build(HistoryQuery(history_->database()), prices, now, weekly,
                                  dayAndTime);
}

} // namespace vellumkite
