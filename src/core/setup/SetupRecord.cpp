#include "SetupRecord.hpp"

#include "AtomicFile.hpp"
#include "JsonWriter.hpp"
#include "Limits.hpp"
#include "SmallFile.hpp"

#include <cerrno>
#include <simdjson.h>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr std::size_t kMaxSize = 16 << 20;

} // namespace

std::filesystem::path SetupRecord::defaultFile() {
    const auto limits = Limits::file();
    return limits.empty() ? limits : limits.parent_path() / "statusline-setup.json";
}

SetupRecord SetupRecord::load(const std::filesystem::path& path) {
    SetupRecord out;
    const SmallFile file = SmallFile::read(path, kMaxSize);
    simdjson::dom::parser parser;
    simdjson::dom::object top;
    if (!file || parser.parse(file.bytes).get_object().get(top) != simdjson::SUCCESS)
        return out;
    for (const auto field : top) {
        Entry e;
        std::string_view after, before;
        if (field.value["after"].get_string().get(after) != simdjson::SUCCESS)
            continue;
        e.after = after;
        if (field.value["before"].get_string().get(before) == simdjson::SUCCESS)
            e.before = std::string(before);
        out.entries[std::string(field.key)] = std::move(e);
    }
    return out;
}

bool SetupRecord::save(const std::filesystem::path& path) const {
    if (entries.empty())
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    JsonWriter w;
    w.beginObject();
    for (const auto& [file, e] : entries) {
        w.key(file).beginObject().key("before");
        if (e.before)
            w.string(*e.before);
        else
            w.null();
        w.key("after").string(e.after).endObject();
    }
    w.endObject();
    return AtomicFile::replace(path, w.text() + "\n");
}

} // namespace vellumkite
