#include "PriceTable.hpp"

#include "ProgramPath.hpp"
#include "UsageTotals.hpp"
#include "UserFolders.hpp"

#include <cctype>
#include <fstream>
#include <simdjson.h>
#include <sstream>
#include <system_error>

namespace vellumkite {

// The shipped table, generated from data/prices.json at build time.
extern const char* const kBuiltInPrices;

namespace {

std::optional<double> number(simdjson::dom::object o, std::string_view key) {
    double d;
    if (o[key].get_double().get(d) != simdjson::SUCCESS || !(d >= 0) || d > 1e6)
        return std::nullopt;
    return d;
}

// "claude-haiku-4-5-20251001" -> "claude-haiku-4-5"; nothing without such a date.
std::optional<std::string_view> withoutDate(std::string_view model) {
    if (model.size() < 10 || model[model.size() - 9] != '-')
        return std::nullopt;
    for (std::size_t i = model.size() - 8; i < model.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(model[i])))
            return std::nullopt;
    return model.substr(0, model.size() - 9);
}

std::filesystem::path installedFile() {
    const auto exe = ProgramPath::self();
    return exe.empty() ? exe
                       : exe.parent_path().parent_path() / "share" / "vellumkite" / "prices.json";
}

} // namespace

PriceTable PriceTable::builtIn() {
    PriceTable t;
    (void)t.merge(kBuiltInPrices);
    return t;
}

PriceTable PriceTable::standard(std::vector<std::string>* problems) {
    PriceTable t = builtIn();
    std::filesystem::path user;
#ifdef __APPLE__
    user = UserFolders::appData();
#else
    if (const auto config = UserFolders::configHome(); !config.empty())
        user = config / "Vellumkite";
#endif
    for (const auto& file : {installedFile(), user.empty() ? user : user / "prices.json"}) {
        std::error_code ec;
        if (file.empty() || !std::filesystem::is_regular_file(file, ec))
            continue;
        if (!t.mergeFile(file) && problems)
            problems->push_back(file.string());
    }
    return t;
}

bool PriceTable::mergeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    return merge(text.str());
}

bool PriceTable::merge(std::string_view json) {
    simdjson::dom::parser parser;
    simdjson::dom::object root, models;
    if (json.size() > (std::size_t{4} << 20) || parser.parse(json.data(), json.size()).get(root) ||
        root["models"].get_object().get(models))
        return false;
    std::map<std::string, Price, std::less<>> read;
    for (auto [id, value] : models) {
        simdjson::dom::object o;
        if (value.get_object().get(o))
            return false;
        const auto input = number(o, "input"), w5 = number(o, "cacheWrite5m"),
                   w1 = number(o, "cacheWrite1h"), r = number(o, "cacheRead"),
                   out = number(o, "output");
        if (!input || !w5 || !w1 || !r || !out)
            return false;
        std::string_view checked;
        if (o["checked"].get_string().get(checked) != simdjson::SUCCESS)
            checked = {};
        read[std::string(id)] = {*input, *w5, *w1, *r, *out, std::string(checked)};
    }
    for (auto& [id, price] : read)
        prices_.insert_or_assign(id, std::move(price));
    return true;
}

const PriceTable::Price* PriceTable::find(std::string_view model) const {
    if (const auto it = prices_.find(model); it != prices_.end())
        return &it->second;
    if (const auto base = withoutDate(model))
        if (const auto it = prices_.find(*base); it != prices_.end())
            return &it->second;
    return nullptr;
}

std::optional<double> PriceTable::cost(std::string_view model, const UsageTotals& u) const {
    const Price* p = find(model);
    if (!p)
        return std::nullopt;
    const auto d = [](std::int64_t n) { return static_cast<double>(n); };
    const double fiveMinute = d(u.cacheWrite) - d(u.cacheWrite1h);
    return (d(u.input) * p->input + fiveMinute * p->cacheWrite5m +
            d(u.cacheWrite1h) * p->cacheWrite1h + d(u.cacheRead) * p->cacheRead +
            d(u.output) * p->output) /
           1e6;
}

} // namespace vellumkite
