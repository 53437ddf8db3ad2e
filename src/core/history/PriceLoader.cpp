#include "PriceLoader.hpp"

namespace vellumkite {

std::vector<PriceLoader::Stamp> PriceLoader::stamps() {
    std::vector<Stamp> out;
    for (const auto& [file, origin] : PriceTable::files()) {
        Stamp s;
        std::error_code ec;
        const auto status = std::filesystem::status(file, ec);
        s.exists = !ec && std::filesystem::exists(status);
        if (s.exists && std::filesystem::is_regular_file(status)) {
            s.size = std::filesystem::file_size(file, ec);
            s.modified = std::filesystem::last_write_time(file, ec);
        }
        out.push_back(s);
    }
    return out;
}

const PriceTable& PriceLoader::current() {
    auto now = stamps();
    if (table_ && now == stamps_)
        return *table_;
    std::vector<std::string> problems;
    table_ = PriceTable::standard(&problems);
    stamps_ = std::move(now);
    for (const auto& p : problems)
        if (said_.insert(p).second && say_)
            say_(p);
    return *table_;
}

} // namespace vellumkite
