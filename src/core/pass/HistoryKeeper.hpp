#pragma once

#include "HistoryOverview.hpp"
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

    // `say` takes the one line a user should see (a damaged or newer database). `liveWindow`:
    // the live figures' window in seconds, read first.
    using Say = std::function<void(const std::string&)>;
    HistoryKeeper(std::filesystem::path file, double liveWindow, Say say,
                  Clock clock = systemClock());
    ~HistoryKeeper();
    HistoryKeeper(const HistoryKeeper&) = delete;
    HistoryKeeper& operator=(const HistoryKeeper&) = delete;

    // Opens the database, checking it whole; before the first pass.
    void open();
    // The history's reader for the next pass; none while the history is off. A database that
    // could not be opened is tried again here now and then.
    LogPass::Reader* reader();
    // After each pass that had the reader.
    void afterPass();

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
                                            MachineScope scope = MachineScope::every()) const;

private:
    void open(bool check);
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
};

} // namespace vellumkite
