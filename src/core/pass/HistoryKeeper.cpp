#include "HistoryKeeper.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryReader.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

HistoryKeeper::HistoryKeeper(std::filesystem::path file, double liveWindow, Say say, Clock clock)
    : file_(std::move(file)), liveWindow_(liveWindow), say_(std::move(say)),
      clock_(std::move(clock)) {}

HistoryKeeper::~HistoryKeeper() = default;

void HistoryKeeper::open() {
    open(true);
}

void HistoryKeeper::open(bool check) {
    reader_.reset();
    history_.reset();
    lastTry_ = clock_();
    auto opened = HistoryDatabase::open(file_, check);
    status_ = {};
    if (!opened.db) {
        // A newer version's file stays off; anything else (most often the other program
        // holding the database) is tried again later.
        retry_ = opened.status != HistoryDatabase::Status::newer;
        if (!retry_) {
            if (say_)
                say_(opened.message);
            status_.message =
                "History is off: its database was written by a newer version of Vellumkite.";
            return;
        }
        if (opened.status == HistoryDatabase::Status::readOnly) {
            // Not a passing moment: said at once, and tried again in case it is set right.
            status_.message = "History is off: " + opened.message;
            return;
        }
        noteFailure("History is off: " + opened.message);
        return;
    }
    if (!opened.message.empty() && say_)
        say_(opened.message);
    retry_ = false;
    failingSince_.reset();
    history_ = std::make_unique<History>(std::move(*opened.db));
    reader_ = std::make_unique<HistoryReader>(*history_, kImportBytesPerPass, liveWindow_, clock_);
    status_.available = true;
    importTotal_ = 0;
    passes_ = 0;
}

// Says why only once it has lasted: the other program holds the database for a moment now and
// then, and a pass that could not write is simply read again.
void HistoryKeeper::noteFailure(const std::string& why) {
    const Instant now = clock_();
    if (!failingSince_)
        failingSince_ = now;
    const double seconds = secondsBetween(*failingSince_, now);
    if (seconds < kPatienceSeconds)
        return;
    const auto minutes = static_cast<long>(std::floor(seconds / 60));
    status_.message = why + " (for " + std::to_string(minutes) + " minutes; trying again)";
}

LogPass::Reader* HistoryKeeper::reader() {
    if (!history_ && retry_ && secondsBetween(lastTry_, clock_()) >= kRetrySeconds)
        open(true);
    return reader_.get();
}

void HistoryKeeper::afterPass() {
    if (!history_)
        return;
    // One transaction a pass; one that cannot be written is read again next time.
    if (history_->commit()) {
        failingSince_.reset();
        if (status_.message.rfind("History is behind", 0) == 0)
            status_.message.clear();
    } else if (!history_->damaged()) {
        noteFailure("History is behind: its database is busy or cannot be written");
    }
    if (history_->damaged()) {
        // The lines of a database set aside are read again: the logs are read anew for the
        // new one, from the next pass on.
        const std::string notice = HistoryDatabase::setAside(file_);
        if (say_)
            say_(notice);
        open(false);
        return;
    }
    ++passes_;
    // The first pass reads the window only; the import starts with the second, and its size is
    // what the listing found then.
    const auto backlog = reader_->backlog();
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

const SqliteDatabase* HistoryKeeper::database() const {
    return history_ ? &history_->database() : nullptr;
}

std::optional<HistoryOverview> HistoryKeeper::overview(Instant now,
                                                       const std::optional<Limits::Window>& weekly,
                                                       const TimeOfDayFormatter& dayAndTime,
                                                       const PriceTable& prices,
                                                       MachineScope scope) const {
    if (!history_)
        return std::nullopt;
    // A book with a new band threshold: the sums are kept apart at it from now on.
    (void)PromptBands::splitAt(history_->database(), prices.thresholds());
    return HistoryOverview::build(HistoryQuery(history_->database(), scope), prices, now, weekly,
                                  dayAndTime);
}

} // namespace vellumkite
