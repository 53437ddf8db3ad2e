#include "PricesCommand.hpp"

#include "AtomicFile.hpp"
#include "Fd.hpp"
#include "Format.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "JsonWriter.hpp"
#include "LocalDate.hpp"
#include "PriceImport.hpp"
#include "PriceTable.hpp"
#include "SmallFile.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>
#include <unistd.h>

namespace vellumkite {

namespace {

using Model = PriceTable::Model;

constexpr const char* kImportHint =
    "Add or correct prices with \"vellumkite-cli prices import FILE\" (a LiteLLM price map or a "
    "file in the form of the book).";

int fail(int code, const std::string& message) {
    (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + message + "\n");
    return code;
}

// "10", "0.10", "12.50", "0.125": a price as a price list prints it.
std::string rateText(const std::optional<double>& rate) {
    if (!rate)
        return std::string(Format::kNoValue);
    std::string text;
    JsonWriter::appendNumber(text, *rate);
    if (const auto point = text.find('.'); point != std::string::npos && point + 2 == text.size())
        text += '0';
    return text;
}

std::string multiplierText(double x) {
    std::string text = "\u00d7";
    JsonWriter::appendNumber(text, x);
    return text;
}

std::string ratesText(const PriceTable::Rates& r) {
    return rateText(r.input) + " / " + rateText(r.cacheWrite5m) + " / " + rateText(r.cacheWrite1h) +
           " / " + rateText(r.cacheRead) + " / " + rateText(r.output);
}

// One line a period, and one for the band's rates under it.
std::vector<std::string> periodLines(const Model& m) {
    std::vector<std::string> out;
    for (const auto& p : m.periods) {
        const auto label = [](std::string text) {
            text.resize(std::max<std::size_t>(text.size(), 23), ' ');
            return text;
        };
        out.push_back(label(p.from ? "from " + PriceTable::dayText(*p.from) : "always") +
                      ratesText(p.rates));
        if (m.threshold)
            out.push_back(label("  above " + Format::grouped(*m.threshold) + " tokens") +
                          ratesText(p.above.value_or(PriceTable::Rates{})));
    }
    return out;
}

std::string sourcesText(const std::vector<std::string>& sources) {
    std::string out;
    for (const auto& s : sources)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

std::string originText(PriceTable::Origin origin, const std::string& checked,
                       const std::vector<std::string>& sources) {
    std::string out(PriceTable::nameOf(origin));
    if (!checked.empty())
        out += " \u00b7 checked " + checked;
    if (!sources.empty())
        out += " \u00b7 " + sourcesText(sources);
    return out;
}

std::string heading(const std::string& id, const Model& m) {
    std::string out = id;
    if (!m.family.empty())
        out += "  " + m.family;
    if (m.fast)
        out += " \u00b7 fast mode " + multiplierText(*m.fast);
    return out;
}

std::string usOnlyText(const PriceTable& book) {
    return book.usOnly() ? multiplierText(book.usOnly()->value) + " on every token"
                         : "no price in the book: such usage has none";
}

std::string webSearchText(const PriceTable& book) {
    return book.webSearch() ? "$" + rateText(book.webSearch()->value) + " per 1,000"
                            : "no price in the book: not in the costs";
}

// The models in the history that the book has no entry for, with their usage. Only read: the
// history is neither created nor brought up to date here.
std::map<std::string, UsageTotals> unpricedInHistory(const PriceTable& book) {
    std::map<std::string, UsageTotals> out;
    const auto file = HistoryDatabase::defaultFile();
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec))
        return out;
    const auto db = SqliteDatabase::open(file, SqliteDatabase::Mode::readOnly);
    if (!db)
        return out;
    db->setBusyTimeout(HistoryDatabase::kBusyMilliseconds);
    return HistoryQuery(*db).unpriced(book).value_or(out);
}

std::string listing(const PriceTable& book) {
    std::string out = "Price book checked " + book.checked() +
                      ", in US dollars per million tokens:\n"
                      "input / 5-minute cache write / 1-hour cache write / cache read / output; " +
                      std::string(Format::kNoValue) + ": not published.\n\n";
    out += "US-only inference  " + usOnlyText(book) + "\n";
    if (const auto& c = book.usOnly())
        out += "                   " + originText(c->origin, c->checked, c->sources) + "\n";
    out += "Web searches       " + webSearchText(book) + "\n";
    if (const auto& c = book.webSearch())
        out += "                   " + originText(c->origin, c->checked, c->sources) + "\n";
    for (const auto& [id, m] : book.models()) {
        out += '\n';
        out += heading(id, m) + "\n";
        for (const auto& line : periodLines(m))
            out += "  " + line + "\n";
        if (!m.note.empty())
            out += "  " + m.note + "\n";
        out += "  " + originText(m.origin, m.checked, m.sources) + "\n";
    }
    const auto unpriced = unpricedInHistory(book);
    if (unpriced.empty()) {
        out += "\nEvery model in the history has a price.\n";
        return out;
    }
    out += "\nModels in the history without a price:\n";
    for (const auto& [id, usage] : unpriced)
        out += "  " + id + "  " + Format::grouped(usage.totalTokens()) + " tokens\n";
    return out + kImportHint + "\n";
}

void charge(JsonWriter& j, std::string_view name, std::string_view value,
            const std::optional<PriceTable::Charge>& c) {
    j.key(name);
    if (!c) {
        j.null();
        return;
    }
    j.beginObject().key(value).number(c->value);
    j.key("source").beginArray();
    for (const auto& s : c->sources)
        j.string(s);
    j.endArray();
    j.key("checked").string(c->checked);
    j.key("origin").string(PriceTable::nameOf(c->origin));
    j.endObject();
}

std::string json(const PriceTable& book) {
    JsonWriter j;
    j.beginObject().key("priceBook").string(book.checked());
    charge(j, "usOnly", "multiplier", book.usOnly());
    charge(j, "webSearch", "perThousand", book.webSearch());
    j.key("models").beginArray();
    for (const auto& [id, m] : book.models()) {
        j.beginObject().key("model").string(id);
        j.key("origin").string(PriceTable::nameOf(m.origin));
        PriceTable::writeModel(j, m);
        j.endObject();
    }
    j.endArray();
    j.key("unpricedModels").beginArray();
    for (const auto& [id, usage] : unpricedInHistory(book))
        j.beginObject()
            .key("model")
            .string(id)
            .key("totalTokens")
            .integer(usage.totalTokens())
            .key("replies")
            .integer(usage.replies)
            .endObject();
    j.endArray().endObject();
    return j.text() + "\n";
}

// What the import would change, model by model, as it was and as it would be.
std::string describe(const PriceTable& changes, const PriceTable& book) {
    std::string out;
    const auto block = [&](const std::string& title, const std::vector<std::string>& was,
                           const std::vector<std::string>& then) {
        out += "  " + title + "\n";
        for (std::size_t i = 0; i < was.size(); ++i)
            out += (i ? "          " : "    now:  ") + was[i] + "\n";
        for (std::size_t i = 0; i < then.size(); ++i)
            out += (i ? "          " : "    then: ") + then[i] + "\n";
    };
    for (const auto& [id, m] : changes.models()) {
        const auto it = book.models().find(id);
        std::vector<std::string> was;
        std::string title = heading(id, m);
        if (it != book.models().end()) {
            was = periodLines(it->second);
            if (it->second.fast != m.fast)
                was.push_back(it->second.fast ? "fast mode " + multiplierText(*it->second.fast)
                                              : "no fast-mode price");
        } else if (const Model* near = book.find(id)) {
            title += "  (new; priced until now as a dated id of another entry)";
            was = periodLines(*near);
        } else {
            title += "  (new)";
        }
        block(title, was, periodLines(m));
    }
    if (changes.usOnly())
        block("US-only inference", {usOnlyText(book)}, {usOnlyText(changes)});
    if (changes.webSearch())
        block("Web searches", {webSearchText(book)}, {webSearchText(changes)});
    return out;
}

int importFile(const std::string& name, bool yes) {
    const SmallFile file = SmallFile::read(name, std::size_t{64} << 20);
    if (!file) {
        const char* why =
            file.problem == SmallFile::Problem::missing      ? "there is no such file"
            : file.problem == SmallFile::Problem::notRegular ? "it is not a regular file"
            : file.problem == SmallFile::Problem::tooLarge   ? "it is larger than 64 MiB"
                                                             : std::strerror(file.error);
        return fail(1, "cannot import " + name + ": " + why + ". Nothing was changed.");
    }
    std::vector<std::string> problems;
    const PriceTable book = PriceTable::standard(&problems);
    for (const auto& p : problems)
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + p + "\n");
    std::string error;
    const auto imported = PriceImport::read(file.bytes, book, error);
    if (!imported)
        return fail(1, name + " is not a price file that can be imported: " + error +
                           ". Nothing was changed.");
    const auto today =
        std::chrono::floor<std::chrono::days>(systemNow()).time_since_epoch().count();
    const PriceTable changes = PriceImport::changes(*imported, book, today);
    const auto target = PriceTable::userFile();
    if (changes.size() == 0 && !changes.usOnly() && !changes.webSearch())
        return Fd::writeAll(STDOUT_FILENO, "Nothing to change: the book already has the " +
                                               std::to_string(imported->book.size()) +
                                               " prices of " + name + ".\n")
                   ? 0
                   : 1;
    std::string text = "In " + target.string() +
                       ", these prices will change (US dollars per million tokens: input / "
                       "5-minute cache write / 1-hour cache write / cache read / output):\n" +
                       describe(changes, book);
    if (const auto same = imported->book.size() - changes.size(); same > 0)
        text += Format::grouped(static_cast<std::int64_t>(same)) +
                (same == 1 ? " other model has" : " other models have") +
                " the prices the book already has.\n";
    if (!Fd::writeAll(STDOUT_FILENO, text))
        return 1;
    if (!yes)
        return fail(1, "nothing was changed. Run \"vellumkite-cli prices import " + name +
                           " --yes\" to make this change.");

    // The user's file as it is: every entry kept, unless it is not a valid price file.
    PriceTable user;
    const SmallFile before = SmallFile::read(target, std::size_t{4} << 20);
    if (before.problem != SmallFile::Problem::missing &&
        (!before || !user.merge(before.bytes, PriceTable::Origin::user, &error)))
        return fail(1, target.string() + " cannot be updated: " +
                           (before ? error : std::string("it cannot be read")) +
                           ". Fix or move it, then import again. Nothing was changed.");
    const std::string note = "Imported from " + std::filesystem::path(name).filename().string() +
                             " on " + LocalDate::of(systemNow()).text() + ".";
    for (auto [id, m] : changes.models()) {
        m.note = note;
        user.set(id, std::move(m));
    }
    if (changes.usOnly())
        user.setUsOnly(changes.usOnly());
    if (changes.webSearch())
        user.setWebSearch(changes.webSearch());

    std::string backup;
    if (before) {
        backup = target.string() + ".vellumkite-" + fileStamp(systemNow());
        if (!AtomicFile::replace(backup, before.bytes))
            return fail(1, "cannot write a backup beside " + target.string() + " (" +
                               std::strerror(errno) + "). Nothing was changed.");
    }
    if (!AtomicFile::makeFolders(target.parent_path()) ||
        !AtomicFile::replace(target, user.toJson()))
        return fail(1, "cannot write " + target.string() + " (" + std::strerror(errno) +
                           "). Nothing was changed.");
    std::string done = "Done: " + target.string() + " now holds these prices.\n";
    if (!backup.empty())
        done += "The file as it was is kept in " + backup + ".\n";
    return Fd::writeAll(STDOUT_FILENO, done) ? 0 : 1;
}

} // namespace

int PricesCommand::main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv, argv + argc);
    if (args.empty() || (args.size() == 1 && args[0] == "--json")) {
        std::vector<std::string> problems;
        const PriceTable book = PriceTable::standard(&problems);
        for (const auto& p : problems)
            (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + p + "\n");
        return Fd::writeAll(STDOUT_FILENO, args.empty() ? listing(book) : json(book)) ? 0 : 1;
    }
    if (args[0] == "import" && (args.size() == 2 || (args.size() == 3 && args[2] == "--yes")) &&
        !args[1].starts_with("-"))
        return importFile(std::string(args[1]), args.size() == 3);
    if (args[0] == "import")
        return fail(2, "prices import wants a file, and --yes to write what it takes from it");
    return fail(2, "unexpected argument for prices: " + std::string(args[0]));
}

} // namespace vellumkite
