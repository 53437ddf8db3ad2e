#pragma once

#include "LimitOverview.hpp"
#include "Limits.hpp"
#include "LocalDate.hpp"
#include "TimeOfDay.hpp"
#include "UsageTotals.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

class HistoryQuery;
class PriceTable;

// What the History window shows: the last 30 local days by model family, this week against the
// same point of last week, the weekly limit's pace, and where the month went.
struct HistoryOverview {
    enum class Family { opus, sonnet, haiku, fable, mythos, other };
    static constexpr std::size_t kFamilies = 6;
    // From the family the price book gives a model ("Opus"); any other, or none, is Other.
    static Family familyNamed(std::string_view family);
    static std::string_view
    nameOf(Family family); // "Opus", "Sonnet", "Haiku", "Fable", "Mythos", "Other"

    struct Day {
        LocalDate date;
        std::array<double, kFamilies> weight{};
        std::array<double, kFamilies> cost{}; // of the priced models
        bool costComplete = true;             // every model of the day has a price
        UsageTotals usage;
        std::vector<std::string> models;
        double totalWeight() const;
        double totalCost() const;
    };
    static constexpr int kDays = 30;
    std::vector<Day> days; // oldest first, today last; kDays of them once built
    // The median of the days with any usage; 0 without any.
    double medianWeight = 0, medianCost = 0;

    struct Span {
        double weight = 0;
        std::optional<double> cost; // nothing when a model has no price
        double pricedCost = 0;      // of the usage with a price
        std::size_t unpricedModels = 0;
    };
    Span thisWeek; // from the start of this local week (Monday) until now
    Span lastWeek; // last week until the same local time on the same weekday
    std::optional<double> weightChange, costChange; // percent; nothing from a zero

    // The weekly limit at this week's average rate: when it would reach 100 %.
    struct Pace {
        bool beforeReset = false;
        std::string title, text;
    };
    std::optional<Pace> pace;

    struct Share {
        std::string name;
        double weight = 0;
        double share = 0; // of the month's weight, 0..1
        std::optional<double> cost;
        std::string family = {}; // a model's, from the book; empty for projects, unknowns
    };
    std::vector<Share> topProjects; // at most five, heaviest first
    std::vector<Share> topModels;
    std::string monthName; // "2026-12"
    // Models shown anywhere above whose usage has no price, for "n models without a price".
    std::vector<std::string> unpricedModels;

    // The limit readings kept: nothing without a history to read them from.
    std::optional<LimitOverview> limits;
    // Other machines whose usage the history holds, counted in or not as the question asked.
    std::int64_t otherMachines = 0;

    bool empty() const;

    // `dayAndTime` names an instant with its day, as "Wed 3:05 PM". Nothing when the database
    // could not answer.
    static std::optional<HistoryOverview> build(const HistoryQuery& query, const PriceTable& prices,
                                                Instant now,
                                                const std::optional<Limits::Window>& weekly,
                                                const TimeOfDayFormatter& dayAndTime);

    // The weekly pace alone, from a reading and the time; for the window and its tests.
    static std::optional<Pace> weeklyPace(const Limits::Window& weekly, Instant now,
                                          const TimeOfDayFormatter& dayAndTime);
    // The same local time on the same weekday a week before (an hour more or less across a
    // clock change).
    static Instant weekBefore(Instant t);
};

} // namespace vellumkite
