#pragma once

#include "HistoryOverview.hpp"
#include "LimitHistory.hpp"
#include "LimitRecord.hpp"
#include "LogPass.hpp"
#include "MachineScope.hpp"
#include "Time.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vellumkite {

class History;
class SqliteDatabase;
class HistoryReader;
class PriceTable;

// The app's side of the history: keeps the database open beside the live figures, so that every
// pass writes what it read and older logs are imported behind them; sets a damaged file aside
// and begins again; tries again while the database cannot be opened; says how far the import
// is; answers the History window. Everything runs on the store's thread.
class HistoryKeeper {
public:
    // What the app reads a pass with: a quarter of a gigabyte of old logs at most.
    static constexpr std::uint64_t kImportBytesPerPass = std::uint64_t{256} << 20;
    // How often a database that could not be opened is tried again.
    static constexpr double kRetrySeconds = 30;
    // How long the database may stay busy before the user is told.
    static constexpr double kPatienceSeconds = 180;
    // How old the calibration may grow when no new readings come (older logs still coming in,
    // days moving on).
    static constexpr double kRecordSeconds = 300;
    // How long the usage of spans worked out before is trusted (a log found late).
    static constexpr double kSpanCacheSeconds = 3600;

    // `journal`: the status line's journal of limit readings, taken in with every pass.
    // `liveWindow`: the live figures' window in seconds, read first. `say` takes the one line a
    // user should see (a damaged or newer database).
    using Say = std::function<void(const std::string&)>;
    HistoryKeeper(std::filesystem::path file, std::filesystem::path journal, double liveWindow,
                  Say say, Clock clock = systemClock());
    ~HistoryKeeper();
    HistoryKeeper(const HistoryKeeper&) = delete;
    HistoryKeeper& operator=(const HistoryKeeper&) = delete;

    // Opens the database, checking it whole; before the first pass.
    void open();
    // The history's reader for the next pass; none while the history is off. A database that
    // could not be opened is tried again here now and then.
    LogPass::Reader* reader();
    // After each pass that had the reader: writes it, with the journal's new readings.
    void afterPass();
    // What the kept readings tell the live figures, worked out again after new readings came in
    // and every kRecordSeconds; nothing without a history.
    const LimitRecord* limitRecord(const PriceTable& prices);

    struct Status {
        bool available = false;
        std::string message;          // why it is off, or why it is behind
        std::optional<double> import; // 0..1 while older logs are still being read
        bool operator==(const Status&) const = default;
    };
    const Status& status() const { return status_; }
    // The history's database while it is open, for what else is kept in it (sync).
    const SqliteDatabase* database() const;

    // Nothing without a database, or when it could not answer.
    std::optional<HistoryOverview> overview(Instant now,
                                            const std::optional<Limits::Window>& weekly,
                                            const TimeOfDayFormatter& dayAndTime,
                                            const PriceTable& prices,
                                            MachineScope scope = MachineScope::every());

private:
    void open(bool check);
    // The usage of settled spans, kept for an hour; none while older logs come in.
    LimitHistory::SpanCache* spanCache(Instant now);
    void noteFailure(const std::string& why);

    std::filesystem::path file_;
    double liveWindow_;
    Say say_;
    Clock clock_;
    std::unique_ptr<History> history_;
    std::unique_ptr<HistoryReader> reader_;
    Status status_;
    bool retry_ = false;                  // the database could not be opened, and may be later
    Instant lastTry_;                     // to open it
    std::optional<Instant> failingSince_; // opening or writing, without a success since
    std::uint64_t importTotal_ = 0;       // bytes of older logs found when the import began
    int passes_ = 0;
    std::filesystem::path journal_;
    std::optional<LimitRecord> record_;
    Instant recordAt_;
    LimitHistory::SpanCache spans_; // dropped every hour, and while older logs come in
    Instant spansSince_;
    bool newReadings_ = false; // since the record was worked out
};

} // namespace vellumkite
