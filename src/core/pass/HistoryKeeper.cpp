#include "HistoryKeeper.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryReader.hpp"
#include "LimitJournalImport.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

HistoryKeeper::HistoryKeeper(std::filesystem::path file, std::filesystem::path journal,
                             double liveWindow, Say say, Clock clock)
    : file_(std::move(file)), liveWindow_(liveWindow), say_(std::move(say)),
      clock_(std::move(clock)), journal_(std::move(journal)) {}

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
    record_.reset();
    spans_.clear();
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
    // One transaction a pass, the journal's new readings with it; one that cannot be written is
    // read again next time.
    const std::size_t readings = LimitJournalImport::read(*history_, journal_);
    if (history_->commit()) {
        failingSince_.reset();
        if (status_.message.rfind("History is behind", 0) == 0)
            status_.message.clear();
        newReadings_ = newReadings_ || readings > 0;
        LimitJournalImport::tidy(*history_, journal_, clock_());
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

LimitHistory::SpanCache* HistoryKeeper::spanCache(Instant now) {
    if (status_.import || !(secondsBetween(spansSince_, now) < kSpanCacheSeconds)) {
        spans_.clear();
        spansSince_ = now;
    }
    // While older logs come in, spans are worked out afresh each time.
    return status_.import ? nullptr : &spans_;
}

const LimitRecord* HistoryKeeper::limitRecord(const PriceTable& prices) {
    if (!history_)
        return nullptr;
    const Instant now = clock_();
    if (!record_ || newReadings_ || !(secondsBetween(recordAt_, now) < kRecordSeconds)) {
        // One that could not be worked out now (a busy database) is kept until the next.
        if (auto record = LimitHistory(history_->database()).record(prices, now, spanCache(now))) {
            record_ = std::move(*record);
            recordAt_ = now;
            newReadings_ = false;
        }
    }
    return record_ ? &*record_ : nullptr;
}

const SqliteDatabase* HistoryKeeper::database() const {
    return history_ ? &history_->database() : nullptr;
}

std::optional<HistoryOverview> HistoryKeeper::overview(Instant now,
                                                       const std::optional<Limits::Window>& weekly,
                                                       const TimeOfDayFormatter& dayAndTime,
                                                       const PriceTable& prices,
                                                       MachineScope scope) {
    if (!history_)
        return std::nullopt;
    // A book with a new band threshold: the sums are kept apart at it from now on.
    (void)PromptBands::splitAt(history_->database(), prices.thresholds());
    auto out = HistoryOverview::build(HistoryQuery(history_->database(), scope), prices, now,
                                      weekly, dayAndTime);
    if (out)
        out->limits = LimitOverview::build(history_->database(), prices, now, spanCache(now));
    return out;
}

} // namespace vellumkite
