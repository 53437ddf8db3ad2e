#include "PriceTable.hpp"

#include "Format.hpp"
#include "JsonWriter.hpp"
#include "LocalDate.hpp"
#include "ProgramPath.hpp"
#include "SmallFile.hpp"
#include "UsageTotals.hpp"
#include "UserFolders.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <simdjson.h>

namespace vellumkite {

// The shipped book, generated from data/prices.json at build time.
extern const char* const kBuiltInPrices;

namespace {

constexpr std::size_t kMaxFileSize = std::size_t{4} << 20;
constexpr int kVersion = 2;

using simdjson::dom::element;
using simdjson::dom::object;
std::optional<std::int64_t> parseDay(std::string_view text) {
    const auto date = LocalDate::parse(text);
    if (!date)
        return std::nullopt;
    return std::chrono::sys_days{date->ymd}.time_since_epoch().count();
}

constexpr const char* kRateNames[] = {"input", "cacheWrite5m", "cacheWrite1h", "cacheRead",
                                      "output"};

std::optional<double>* rateOf(PriceTable::Rates& r, std::string_view name) {
    std::optional<double>* fields[] = {&r.input, &r.cacheWrite5m, &r.cacheWrite1h, &r.cacheRead,
                                       &r.output};
    for (std::size_t i = 0; i < std::size(kRateNames); ++i)
        if (name == kRateNames[i])
            return fields[i];
    return nullptr;
}

// Reads a price file's members; the first thing wrong is kept in `why` and ends the reading.
struct Reader {
    PriceTable::Origin origin;
    std::string why;

    bool refuse(std::string text) {
        if (why.empty())
            why = std::move(text);
        return false;
    }
    std::nullopt_t none(std::string text) {
        refuse(std::move(text));
        return std::nullopt;
    }
    bool unknown(const std::string& where, std::string_view key) {
        return refuse(where + ": unknown member \"" + std::string(key) + "\"");
    }

    bool day(element value, const std::string& where, std::string& out) {
        std::string_view text;
        if (value.get_string().get(text) || !parseDay(text))
            return refuse(where + " is not a day (YYYY-MM-DD)");
        out = text;
        return true;
    }

    bool number(element value, const std::string& where, double least, double most, double& out) {
        if (value.get_double().get(out))
            return refuse(where + " is not a number");
        if (!(out >= least))
            return refuse(where + " is " + PriceTable::numberText(out) + ", below " +
                          PriceTable::numberText(least));
        if (out > most)
            return refuse(where + " is " + PriceTable::numberText(out) + ", above " +
                          PriceTable::numberText(most));
        return true;
    }

    bool rate(element value, const std::string& where, std::optional<double>& out) {
        out.reset();
        if (value.is_null())
            return true;
        double d = 0;
        if (value.get_double().get(d) || !(d >= 0))
            return refuse(where +
                          " is not a price (a number of dollars per million tokens, or null)");
        if (d > PriceTable::kMaxRate)
            return refuse(where + " is $" + PriceTable::numberText(d) +
                          " per million tokens, above $1,000");
        out = d;
        return true;
    }

    bool rates(object o, const std::string& where, PriceTable::Rates& out) {
        for (auto [key, value] : o) {
            auto* field = rateOf(out, key);
            if (!field)
                return unknown(where, key);
            if (!rate(value, where + " " + std::string(key), *field))
                return false;
        }
        return true;
    }

    bool sources(element value, const std::string& where, std::vector<std::string>& out) {
        out.clear();
        std::string_view one;
        if (!value.get_string().get(one)) {
            out.emplace_back(one);
            return true;
        }
        simdjson::dom::array list;
        if (value.get_array().get(list))
            return refuse(where + " is not an address or a list of them");
        for (element e : list) {
            if (e.get_string().get(one))
                return refuse(where + " is not an address or a list of them");
            out.emplace_back(one);
        }
        return true;
    }

    std::optional<PriceTable::Charge> charge(element value, const std::string& where,
                                             std::string_view valueName, double least,
                                             double most) {
        object o;
        if (value.get_object().get(o))
            return none(where + " is not an object");
        PriceTable::Charge c;
        c.origin = origin;
        bool seen = false;
        for (auto [key, member] : o) {
            const std::string at = where + " " + std::string(key);
            const bool ok = key == valueName   ? (seen = number(member, at, least, most, c.value))
                            : key == "source"  ? sources(member, at, c.sources)
                            : key == "checked" ? day(member, at, c.checked)
                                               : unknown(where, key);
            if (!ok)
                return std::nullopt;
        }
        if (!seen)
            return none(where + " has no " + std::string(valueName));
        return c;
    }

    bool period(object p, const std::string& where, PriceTable::Period& out) {
        for (auto [key, value] : p) {
            object above;
            std::string from;
            if (key == "from") {
                if (!day(value, where + " from", from))
                    return false;
                out.from = parseDay(from);
            } else if (key == "above") {
                out.above.emplace();
                if (value.get_object().get(above))
                    return refuse(where + " above is not an object");
                if (!rates(above, where + " above", *out.above))
                    return false;
            } else if (auto* field = rateOf(out.rates, key)) {
                if (!rate(value, where + " " + std::string(key), *field))
                    return false;
            } else {
                return unknown(where, key);
            }
        }
        return true;
    }

    std::optional<PriceTable::Model> model(const std::string& id, object o) {
        PriceTable::Model m;
        m.origin = origin;
        PriceTable::Period flat; // the rates of an entry without periods
        bool hasFlat = false;
        std::optional<simdjson::dom::array> periods;
        for (auto [key, value] : o) {
            const std::string where = id + " " + std::string(key);
            std::string_view text;
            std::int64_t n = 0;
            bool ok = true;
            if (auto* field = rateOf(flat.rates, key)) {
                ok = rate(value, where, *field);
                hasFlat = true;
            } else if (key == "periods") {
                periods.emplace();
                ok = !value.get_array().get(*periods) || refuse(where + " is not a list");
            } else if (key == "family" || key == "note") {
                ok = !value.get_string().get(text) || refuse(where + " is not a text");
                (key == "family" ? m.family : m.note) = std::string(text);
            } else if (key == "source") {
                ok = sources(value, where, m.sources);
            } else if (key == "checked") {
                ok = day(value, where, m.checked);
            } else if (key == "threshold") {
                ok = (!value.get_int64().get(n) && n >= 1 && n <= 1'000'000'000) ||
                     refuse(where + " is not a number of tokens");
                m.threshold = n;
            } else if (key == "fast") {
                m.fast.emplace();
                ok = number(value, where, 1, 100, *m.fast);
            } else {
                ok = unknown(id, key);
            }
            if (!ok)
                return std::nullopt;
        }
        if (hasFlat == periods.has_value())
            return none(id + (hasFlat ? " has both rates and periods" : " has no rates"));
        if (hasFlat)
            m.periods.push_back(flat);
        if (periods)
            for (element e : *periods) {
                const std::string where = id + " period " + std::to_string(m.periods.size() + 1);
                object p;
                PriceTable::Period next;
                if (e.get_object().get(p))
                    return none(where + " is not an object");
                if (!period(p, where, next))
                    return std::nullopt;
                if (!m.periods.empty() &&
                    (!next.from || (m.periods.back().from && *next.from <= *m.periods.back().from)))
                    return none(where + " needs a later \"from\" than the period before");
                m.periods.push_back(next);
            }
        if (m.periods.empty())
            return none(id + " has no periods");
        for (const auto& p : m.periods)
            if (p.above && !m.threshold)
                return none(id + " has rates above a band but no threshold");
        return m;
    }
};

std::filesystem::path installedFile() {
    const auto exe = ProgramPath::self();
    return exe.empty() ? exe
                       : exe.parent_path().parent_path() / "share" / "vellumkite" / "prices.json";
}

// "claude-opus-4-5-20251101" with a date after the dash at `dash`.
bool dateAfter(std::string_view id, std::size_t dash) {
    if (id.size() < dash + 9)
        return false;
    for (std::size_t i = dash + 1; i < dash + 9; ++i)
        if (!std::isdigit(static_cast<unsigned char>(id[i])))
            return false;
    return id.size() == dash + 9 || !std::isdigit(static_cast<unsigned char>(id[dash + 9]));
}

void writeRates(JsonWriter& j, const PriceTable::Rates& r) {
    const std::optional<double> fields[] = {r.input, r.cacheWrite5m, r.cacheWrite1h, r.cacheRead,
                                            r.output};
    for (std::size_t i = 0; i < std::size(kRateNames); ++i) {
        j.key(kRateNames[i]);
        if (fields[i])
            j.number(*fields[i]);
        else
            j.null();
    }
}

void writeSources(JsonWriter& j, const std::vector<std::string>& sources) {
    if (sources.size() == 1) {
        j.key("source").string(sources.front());
    } else if (!sources.empty()) {
        j.key("source").beginArray();
        for (const auto& s : sources)
            j.string(s);
        j.endArray();
    }
}

void writeCharge(JsonWriter& j, std::string_view valueName, const PriceTable::Charge& c) {
    j.beginObject().key(valueName).number(c.value);
    writeSources(j, c.sources);
    if (!c.checked.empty())
        j.key("checked").string(c.checked);
    j.endObject();
}

} // namespace

bool PriceTable::Model::samePrices(const Model& o) const {
    return periods == o.periods && threshold == o.threshold && fast == o.fast;
}

std::optional<double> PriceTable::Cost::total() const {
    return complete ? std::optional(priced) : std::nullopt;
}

PriceTable::Cost& PriceTable::Cost::operator+=(const Cost& o) {
    priced += o.priced;
    complete = complete && o.complete;
    fastUnpriced += o.fastUnpriced;
    searchesUnpriced += o.searchesUnpriced;
    return *this;
}

PriceTable PriceTable::builtIn() {
    PriceTable t;
    (void)t.merge(kBuiltInPrices, Origin::builtIn);
    return t;
}

std::filesystem::path PriceTable::userFile() {
    std::filesystem::path folder;
#ifdef __APPLE__
    folder = UserFolders::appData();
#else
    if (const auto config = UserFolders::configHome(); !config.empty())
        folder = config / "Vellumkite";
#endif
    return folder.empty() ? folder : folder / "prices.json";
}

std::vector<std::pair<std::filesystem::path, PriceTable::Origin>> PriceTable::files() {
    std::vector<std::pair<std::filesystem::path, Origin>> out;
    for (auto [file, origin] :
         {std::pair{installedFile(), Origin::installed}, std::pair{userFile(), Origin::user}})
        if (!file.empty())
            out.emplace_back(std::move(file), origin);
    return out;
}

std::string_view PriceTable::nameOf(Origin origin) {
    switch (origin) {
    case Origin::builtIn:
        return "built in";
    case Origin::installed:
        return "installed";
    case Origin::user:
        return "user file";
    }
    return "";
}

PriceTable PriceTable::standard(std::vector<std::string>* problems) {
    PriceTable t = builtIn();
    for (const auto& [file, origin] : files()) {
        std::string error;
        if (!t.mergeFile(file, origin, &error) && !error.empty() && problems)
            problems->push_back("the price file " + file.string() + " is ignored: " + error);
    }
    return t;
}

bool PriceTable::mergeFile(const std::filesystem::path& file, Origin origin, std::string* error) {
    // Never opened unless it is a regular file: a FIFO would block, /dev/zero never ends.
    const SmallFile f = SmallFile::read(file, kMaxFileSize);
    std::string why;
    switch (f.problem) {
    case SmallFile::Problem::none:
        return merge(f.bytes, origin, error);
    case SmallFile::Problem::missing:
        break; // nothing to say: most people have none
    case SmallFile::Problem::notRegular:
        why = "it is not a regular file";
        break;
    case SmallFile::Problem::tooLarge:
        why = "it is larger than 4 MiB";
        break;
    case SmallFile::Problem::unreadable:
        why = std::string("it cannot be read (") + std::strerror(f.error) + ")";
        break;
    }
    if (error)
        *error = why;
    return false;
}

bool PriceTable::merge(std::string_view json, Origin origin, std::string* error) {
    simdjson::dom::parser parser;
    object root;
    if (json.size() > kMaxFileSize) {
        if (error)
            *error = "it is larger than 4 MiB";
        return false;
    }
    if (const auto e = parser.parse(json.data(), json.size()).get(root); e) {
        if (error)
            *error = e == simdjson::INCORRECT_TYPE
                         ? "it is not a JSON object"
                         : std::string("it is not JSON (") + simdjson::error_message(e) + ")";
        return false;
    }
    std::map<std::string, Model, std::less<>> read;
    std::optional<Charge> usOnly, webSearch;
    Reader r{origin, {}};
    bool hasModels = false;
    for (auto [key, value] : root) {
        if (key == "version") {
            std::int64_t v = 0;
            if (value.get_int64().get(v) || v < 1)
                r.refuse("version is not a number");
            else if (v > kVersion)
                r.refuse("it is written for a newer version of Vellumkite (version " +
                         std::to_string(v) + ")");
        } else if (key == "about") {
            continue;
        } else if (key == "usOnly") {
            usOnly = r.charge(value, "usOnly", "multiplier", 1, 10);
        } else if (key == "webSearch") {
            webSearch = r.charge(value, "webSearch", "perThousand", 0, kMaxRate);
        } else if (key == "models") {
            object models;
            if (value.get_object().get(models))
                r.refuse("models is not an object");
            for (auto [id, entry] : models) {
                object o;
                if (entry.get_object().get(o)) {
                    r.refuse(std::string(id) + " is not an object");
                    break;
                }
                auto m = r.model(std::string(id), o);
                if (!m)
                    break;
                read[std::string(id)] = std::move(*m);
            }
            hasModels = true;
        } else {
            r.unknown("the file", key);
        }
        if (!r.why.empty())
            break;
    }
    if (r.why.empty() && !hasModels)
        r.refuse("it has no \"models\"");
    if (!r.why.empty()) {
        if (error)
            *error = r.why;
        return false;
    }
    for (auto& [id, m] : read)
        models_.insert_or_assign(id, std::move(m));
    if (usOnly)
        usOnly_ = std::move(usOnly);
    if (webSearch)
        webSearch_ = std::move(webSearch);
    return true;
}

void PriceTable::set(std::string id, Model model) {
    models_.insert_or_assign(std::move(id), std::move(model));
}

std::string_view PriceTable::reportId(std::string_view model) {
    constexpr std::string_view kWide = "[1m]";
    return model.size() > kWide.size() && model.ends_with(kWide)
               ? model.substr(0, model.size() - kWide.size())
               : model;
}

const PriceTable::Model* PriceTable::find(std::string_view model) const {
    if (const auto it = models_.find(model); it != models_.end())
        return &it->second;
    const std::string_view id = reportId(model);
    if (const auto it = models_.find(id); it != models_.end())
        return &it->second;
    // The longest first: claude-opus-4-5-20251101 is claude-opus-4-5 before claude-opus-4.
    for (std::size_t dash = id.rfind('-'); dash != std::string_view::npos && dash > 0;
         dash = id.rfind('-', dash - 1))
        if (dateAfter(id, dash))
            if (const auto it = models_.find(id.substr(0, dash)); it != models_.end())
                return &it->second;
    return nullptr;
}

std::string_view PriceTable::family(std::string_view model) const {
    const Model* m = find(model);
    return m ? std::string_view(m->family) : std::string_view();
}

std::string PriceTable::checked() const {
    std::string newest;
    for (const auto& [id, m] : models_)
        newest = std::max(newest, m.checked);
    for (const auto* c : {&usOnly_, &webSearch_})
        if (*c)
            newest = std::max(newest, (*c)->checked);
    return newest;
}

std::vector<std::int64_t> PriceTable::thresholds() const {
    std::vector<std::int64_t> out;
    for (const auto& [id, m] : models_)
        if (m.threshold)
            out.push_back(*m.threshold);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

PriceTable::Cost PriceTable::cost(std::string_view id, const UsageClass& c,
                                  const UsageTotals& u) const {
    Cost out;
    const Model* m = find(id);
    if (!m || m->periods.empty()) {
        out.complete = false;
        return out;
    }
    // The period in force on the reply's day; a day before the first (a clock that was off)
    // takes the first.
    const Period* period = &m->periods.front();
    for (const auto& p : m->periods)
        if (!p.from || *p.from <= c.day)
            period = &p;
    const Rates* r = &period->rates;
    if (m->threshold) {
        if (c.promptAbove >= *m->threshold)
            r = period->above ? &*period->above : nullptr;
        else if (!c.promptAtMost || *c.promptAtMost > *m->threshold)
            r = nullptr; // the class holds prompts on both sides of the threshold
    }
    double multiplier = 1;
    if (c.fast) {
        if (m->fast)
            multiplier = *m->fast;
        else
            out.fastUnpriced = u.replies;
    }
    if (c.usOnly) {
        if (usOnly_)
            multiplier *= usOnly_->value;
        else
            r = nullptr;
    }
    double sum = 0;
    const auto add = [&](std::int64_t n, const std::optional<double> Rates::*field) {
        if (n == 0 || !r)
            return;
        if (!(r->*field)) {
            r = nullptr;
            return;
        }
        sum += static_cast<double>(n) * *(r->*field);
    };
    add(u.input, &Rates::input);
    add(u.cacheWrite - u.cacheWrite1h, &Rates::cacheWrite5m);
    add(u.cacheWrite1h, &Rates::cacheWrite1h);
    add(u.cacheRead, &Rates::cacheRead);
    add(u.output, &Rates::output);
    if (!r) {
        out.complete = false;
        return out;
    }
    out.priced = sum * multiplier / 1e6;
    // A search's fee is its own: neither fast mode nor the region changes it.
    if (u.webSearches > 0) {
        if (webSearch_)
            out.priced += static_cast<double>(u.webSearches) * webSearch_->value / 1000;
        else
            out.searchesUnpriced = u.webSearches;
    }
    return out;
}

std::string PriceTable::numberText(double x) {
    if (x == std::floor(x) && std::fabs(x) < 1e15)
        return Format::grouped(static_cast<std::int64_t>(x));
    std::string out;
    JsonWriter::appendNumber(out, x);
    return out;
}

std::string PriceTable::dayText(std::int64_t day) {
    return LocalDate{std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{day}}}}
        .text();
}

void PriceTable::writeModel(JsonWriter& j, const Model& m) {
    if (!m.family.empty())
        j.key("family").string(m.family);
    if (m.threshold)
        j.key("threshold").integer(*m.threshold);
    if (m.fast)
        j.key("fast").number(*m.fast);
    j.key("periods").beginArray();
    for (const auto& p : m.periods) {
        j.beginObject();
        if (p.from)
            j.key("from").string(dayText(*p.from));
        writeRates(j, p.rates);
        if (p.above) {
            j.key("above").beginObject();
            writeRates(j, *p.above);
            j.endObject();
        }
        j.endObject();
    }
    j.endArray();
    writeSources(j, m.sources);
    if (!m.checked.empty())
        j.key("checked").string(m.checked);
    if (!m.note.empty())
        j.key("note").string(m.note);
}

std::string PriceTable::toJson() const {
    std::string out = "{\n  \"version\": " + std::to_string(kVersion);
    const std::pair<const char*, const std::optional<Charge>*> charges[] = {
        {"usOnly", &usOnly_}, {"webSearch", &webSearch_}};
    for (const auto& [name, c] : charges)
        if (*c) {
            JsonWriter j;
            writeCharge(j, name == std::string_view("usOnly") ? "multiplier" : "perThousand", **c);
            out += ",\n  \"" + std::string(name) + "\": " + j.text();
        }
    out += ",\n  \"models\": {";
    bool first = true;
    for (const auto& [id, m] : models_) {
        JsonWriter j;
        j.beginObject();
        writeModel(j, m);
        j.endObject();
        out += first ? "\n    " : ",\n    ";
        JsonWriter::appendString(out, id);
        out += ": " + j.text();
        first = false;
    }
    out += "\n  }\n}\n";
    return out;
}

} // namespace vellumkite
