#include "Thresholds.hpp"

#include "Environment.hpp"
#include "Preferences.hpp"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace vellumkite;

namespace {

Thresholds loadWith(std::map<std::string, std::string, std::less<>> vars,
                    std::map<std::string, PrefValue, std::less<>> prefs = {}) {
    return Thresholds::load(MapPreferences(std::move(prefs)), Environment(std::move(vars)));
}

std::int64_t chatSoftFromEnv(const std::string& value) {
    return loadWith({{"VELLUMKITE_CHAT_SOFT", value}}).chatSoft;
}

// Switches LC_NUMERIC for one test and puts the previous one back.
class NumericLocale {
public:
    NumericLocale() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current ? current : "C";
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    bool trySet(const char* name) { return std::setlocale(LC_NUMERIC, name) != nullptr; }

private:
    std::string saved_;
};

} // namespace

TEST(ThresholdsTest, NoOverridesGiveTheDefaults) {
    // The defaults the README gives.
    EXPECT_EQ(loadWith({}), (Thresholds{.chatSoft = 150000,
                                        .chatHard = 300000,
                                        .limitWarn = 80.0,
                                        .limitAlert = 90.0,
                                        .idleMinutes = 60.0,
                                        .idleMinSize = 50000,
                                        .toolShare = 0.1}));
}

TEST(ThresholdsTest, VariableNamesSplitCamelCase) {
    const std::pair<const char*, const char*> names[] = {
        {"chatSoft", "VELLUMKITE_CHAT_SOFT"},
        {"chatHard", "VELLUMKITE_CHAT_HARD"},
        {"limitWarn", "VELLUMKITE_LIMIT_WARN"},
        {"limitAlert", "VELLUMKITE_LIMIT_ALERT"},
        {"idleMinutes", "VELLUMKITE_IDLE_MINUTES"},
        {"toolShare", "VELLUMKITE_TOOL_SHARE"},
        // Only a lower-case letter followed by an upper-case one gets the underscore.
        {"aBC", "VELLUMKITE_A_BC"},
        {"abCdE", "VELLUMKITE_AB_CD_E"},
        {"URLPath", "VELLUMKITE_URLPATH"},
        {"a1B", "VELLUMKITE_A1B"},
        {"", "VELLUMKITE_"}};
    for (const auto& [field, name] : names)
        EXPECT_EQ(Thresholds::environmentName(field), name) << field;
}

TEST(ThresholdsTest, IntegerOverridesTruncateTowardZero) {
    EXPECT_EQ(chatSoftFromEnv("120000.9"), 120000);
    EXPECT_EQ(chatSoftFromEnv("1.5e5"), 150000);
    EXPECT_EQ(chatSoftFromEnv("-120000.9"), -120000);
    EXPECT_EQ(chatSoftFromEnv("0"), 0);
    EXPECT_EQ(loadWith({{"VELLUMKITE_CHAT_HARD", "250000"}}).chatHard, 250000);
    EXPECT_EQ(chatSoftFromEnv("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
}

TEST(ThresholdsTest, VariablesThatAreNotWholeNumbersAreIgnored) {
    for (const char* bad : {"abc", "", " 120000", "\t120000", "120000 ", "120000x", "12,5", "1e"})
        EXPECT_EQ(chatSoftFromEnv(bad), 150000) << "value '" << bad << "'";
    EXPECT_EQ(loadWith({{"VELLUMKITE_LIMIT_WARN", "85%"}}).limitWarn, 80.0);
    // A variable that does not parse lets the preference through.
    EXPECT_EQ(
        loadWith({{"VELLUMKITE_CHAT_SOFT", "abc"}}, {{"chatSoft", PrefValue{90000.0}}}).chatSoft,
        90000);
    // An embedded NUL would otherwise cut the value short and make it look valid.
    EXPECT_EQ(chatSoftFromEnv(std::string("1000\0junk", 9)), 150000);
}

TEST(ThresholdsTest, CountsWithoutAWholeValueKeepTheDefault) {
    for (const char* bad : {"inf", "-inf", "nan", "1e19", "-1e19", "1e400", "9223372036854775807"})
        EXPECT_EQ(chatSoftFromEnv(bad), 150000) << "value '" << bad << "'";
    EXPECT_EQ(loadWith({}, {{"chatHard", PrefValue{1e300}}}).chatHard, 300000);
    EXPECT_EQ(loadWith({}, {{"chatHard", PrefValue{std::string("nan")}}}).chatHard, 300000);
}

TEST(ThresholdsTest, EnvironmentBeatsPreferences) {
    const Thresholds t =
        loadWith({{"VELLUMKITE_TOOL_SHARE", "0.25"}}, {{"toolShare", PrefValue{0.05}}});
    EXPECT_EQ(t.toolShare, 0.25);
}

TEST(ThresholdsTest, PreferencesOverrideOneFieldAtATime) {
    const Thresholds t = loadWith({}, {{"limitAlert", PrefValue{95.0}}});
    EXPECT_EQ(t.limitAlert, 95.0);
    EXPECT_EQ(t.limitWarn, 80.0);
    EXPECT_EQ(t.chatSoft, 150000);

    // Nothing checks that the pairs stay in order.
    const Thresholds upsideDown =
        loadWith({{"VELLUMKITE_CHAT_SOFT", "500000"}, {"VELLUMKITE_LIMIT_WARN", "99"}});
    EXPECT_EQ(upsideDown.chatSoft, 500000);
    EXPECT_EQ(upsideDown.chatHard, 300000);
    EXPECT_EQ(upsideDown.limitWarn, 99.0);
    EXPECT_EQ(upsideDown.limitAlert, 90.0);
}

TEST(ThresholdsTest, PreferencesOfOtherTypesReadLikeNumbers) {
    const Thresholds t = loadWith({}, {{"idleMinutes", PrefValue{std::string("abc")}},
                                       {"limitWarn", PrefValue{true}},
                                       {"limitAlert", PrefValue{std::string(" 75 percent")}},
                                       {"toolShare", PrefValue{PrefValue::Other{}}},
                                       {"chatSoft", PrefValue{false}}});
    EXPECT_EQ(t, (Thresholds{.chatSoft = 0,
                             .limitWarn = 1.0,
                             .limitAlert = 75.0,
                             .idleMinutes = 0.0,
                             .toolShare = 0.0}));
}

TEST(ThresholdsTest, IdleMinSizeCannotBeOverridden) {
    const Thresholds t =
        loadWith({{"VELLUMKITE_IDLE_MIN_SIZE", "1"}}, {{"idleMinSize", PrefValue{1.0}}});
    EXPECT_EQ(t.idleMinSize, 50000);
}

TEST(ThresholdsTest, DecimalCommaLocaleDoesNotChangeParsing) {
    NumericLocale locale;
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8",
                             "es_ES.UTF-8", "it_IT.UTF-8", "ru_RU.UTF-8"}) {
        if (locale.trySet(name) && std::localeconv()->decimal_point[0] == ',') {
            comma = true;
            break;
        }
    }
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    // The plain C library now reads "0.25" as 0; ours must not.
    ASSERT_EQ(std::strtod("0.25", nullptr), 0.0);

    const Thresholds t = loadWith({{"VELLUMKITE_TOOL_SHARE", "0.25"}},
                                  {{"limitWarn", PrefValue{std::string("72.5")}}});
    EXPECT_EQ(t.toolShare, 0.25);
    EXPECT_EQ(t.limitWarn, 72.5);
    EXPECT_EQ(loadWith({{"VELLUMKITE_TOOL_SHARE", "0,25"}}).toolShare, 0.1);
}

TEST(ThresholdsTest, ChatLevelBoundsAreInclusive) {
    Thresholds t;
    t.chatSoft = 1000;
    t.chatHard = 5000;
    EXPECT_EQ(chatLevel(999, t), Level::info);
    EXPECT_EQ(chatLevel(1000, t), Level::warn);
    EXPECT_EQ(chatLevel(4999, t), Level::warn);
    EXPECT_EQ(chatLevel(5000, t), Level::alert);
    EXPECT_EQ(chatLevel(std::numeric_limits<std::int64_t>::max(), t), Level::alert);
    EXPECT_EQ(chatLevel(-1, t), Level::info);

    // Swapped bounds: the hard one decides first.
    t.chatSoft = 5000;
    t.chatHard = 1000;
    EXPECT_EQ(chatLevel(1000, t), Level::alert);
    EXPECT_EQ(chatLevel(6000, t), Level::alert);
    EXPECT_EQ(chatLevel(999, t), Level::info);
}
