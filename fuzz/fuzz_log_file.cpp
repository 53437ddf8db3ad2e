// Any bytes as a chat log, read by a store in two passes (the second after more bytes arrive):
// nothing may crash, and every record kept must lie inside the window.
#include "UsageStore.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                              ("vellumkite-fuzz-log-" + std::to_string(::getpid()));
    static const bool made = std::filesystem::create_directories(root / "p");
    (void)made;
    const auto file = root / "p" / "chat.jsonl";
    const std::size_t half = size / 2;
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(half));
    }
    const Instant now = fromUnixSeconds(1'740'830'400); // 2025-03-01T12:00:00Z
    UsageStore store(root, 691200, [&] { return now; });
    store.refresh();
    {
        std::ofstream out(file, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(data) + half,
                  static_cast<std::streamsize>(size - half));
    }
    store.refresh();
    // The offset stops just past a line feed (or at 0), never inside a line.
    const auto offset = store.offset(file.string()).value_or(0);
    if (offset > size || (offset > 0 && data[offset - 1] != '\n'))
        std::abort();
    const Instant cutoff = addSeconds(now, -691200);
    for (const auto& [key, turn] : store.turns())
        if (turn.time < cutoff)
            std::abort();
    for (const auto& [id, result] : store.results())
        if (result.time < cutoff || store.hasToolName(id))
            std::abort();
    (void)store.chats(kDistantPast);
    (void)store.toolEaters(kDistantPast);
    (void)store.currentChat();
    return 0;
}
