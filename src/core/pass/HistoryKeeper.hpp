#pragma once

#include "HistoryOverview.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vellumkite {

class History;
class PriceTable;
class UsageStore;

// The app's side of the history: opens the database beside a live store, so that every pass
// writes what it read and older logs are imported behind the live figures; sets a damaged file
// aside and begins again; says how far the import is; answers the History window. Everything
// runs on the store's thread.
class HistoryKeeper {
public:
    // What the app reads a pass with: a quarter of a gigabyte of old logs at most.
    static constexpr std::uint64_t kImportBytesPerPass = std::uint64_t{256} << 20;

    // `say` takes the one line a user should see (a damaged or newer database).
    using Say = std::function<void(const std::string&)>;
    HistoryKeeper(std::filesystem::path file, Say say);
    ~HistoryKeeper();
    HistoryKeeper(const HistoryKeeper&) = delete;
    HistoryKeeper& operator=(const HistoryKeeper&) = delete;

    // Opens the database (checking it whole) and attaches it to the store; before its first pass.
    void attach(UsageStore& store);
    // After each pass.
    void afterPass(UsageStore& store);

    struct Status {
        bool available = false;
        std::string message;          // why it is off
        std::optional<double> import; // 0..1 while older logs are still being read
        bool operator==(const Status&) const = default;
    };
    const Status& status() const { return status_; }

    // Nothing without a database, or when it could not answer.
    std::optional<HistoryOverview> overview(Instant now,
                                            const std::optional<Limits::Window>& weekly,
                                            const TimeOfDayFormatter& dayAndTime,
                                            const PriceTable& prices) const;

private:
    void open(UsageStore& store, bool check);

    std::filesystem::path file_;
    Say say_;
    std::unique_ptr<History> history_;
    Status status_;
    std::uint64_t importTotal_ = 0; // bytes of older logs found when the import began
    int passes_ = 0;
};

} // namespace vellumkite
