#include "MachineIdentity.hpp"

#include "AtomicFile.hpp"
#include "JsonWriter.hpp"
#include "SmallFile.hpp"
#include "UserFolders.hpp"

#include <cerrno>
#include <cstring>
#include <simdjson.h>
#include <unistd.h>
#include <uuid/uuid.h>

namespace vellumkite {

namespace {

constexpr std::size_t kMaxFile = 4096;

} // namespace

std::filesystem::path MachineIdentity::defaultFile() {
    const auto folder = UserFolders::appData();
    return folder.empty() ? folder : folder / "machine.json";
}

std::string MachineIdentity::newId() {
    uuid_t bytes;
    uuid_generate_random(bytes);
    char text[37];
    uuid_unparse_lower(bytes, text);
    return text;
}

bool MachineIdentity::validId(std::string_view id) {
    if (id.size() != 36)
        return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::string MachineIdentity::cleanName(std::string_view name) {
    std::string out;
    for (const char c : name)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            out += c;
    const auto first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    out = out.substr(first, out.find_last_not_of(' ') - first + 1);
    if (out.size() > kMaxName) {
        std::size_t end = kMaxName;
        // Not in the middle of a character.
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xc0) == 0x80)
            --end;
        out.resize(end);
    }
    return out;
}

std::string MachineIdentity::hostName() {
    char text[256] = {};
    if (::gethostname(text, sizeof text - 1) == 0) {
        // The short name: "laptop", not "laptop.home.example".
        std::string name = cleanName(text);
        if (const auto dot = name.find('.'); dot != std::string::npos && dot > 0)
            name.resize(dot);
        if (!name.empty())
            return name;
    }
    return "this machine";
}

std::optional<MachineIdentity> MachineIdentity::read(const std::filesystem::path& file) {
    if (file.empty())
        return std::nullopt;
    const SmallFile bytes = SmallFile::read(file, kMaxFile);
    if (!bytes)
        return std::nullopt;
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.parse(bytes.bytes).get(object) != simdjson::SUCCESS)
        return std::nullopt;
    std::string_view id, name;
    if (object["id"].get(id) != simdjson::SUCCESS || !validId(id))
        return std::nullopt;
    MachineIdentity out{std::string(id), ""};
    if (object["name"].get(name) == simdjson::SUCCESS)
        out.name = cleanName(name);
    if (out.name.empty())
        out.name = hostName();
    return out;
}

std::optional<MachineIdentity> MachineIdentity::load(const std::filesystem::path& file,
                                                     std::string* problem) {
    if (auto kept = read(file))
        return kept;
    // Only a missing file, or one that holds no identity, is made anew: one that cannot be read
    // now may hold this machine's id.
    const SmallFile there = SmallFile::read(file, kMaxFile);
    if (there.problem != SmallFile::Problem::none && there.problem != SmallFile::Problem::missing) {
        if (problem)
            *problem = "cannot read this machine's id from " + file.string() +
                       (there.problem == SmallFile::Problem::unreadable
                            ? std::string(": ") + std::strerror(there.error)
                            : std::string(": not a small regular file"));
        return std::nullopt;
    }
    MachineIdentity made{newId(), hostName()};
    if (file.empty() || !AtomicFile::makeFolders(file.parent_path()) || !made.save(file)) {
        if (problem)
            *problem =
                "cannot save this machine's id in " + file.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return made;
}

bool MachineIdentity::save(const std::filesystem::path& file) const {
    JsonWriter j;
    j.beginObject().key("id").string(id).key("name").string(name).endObject();
    return AtomicFile::replace(file, j.text() + "\n");
}

} // namespace vellumkite
