#include "LogTree.hpp"

#include "Timestamp.hpp"

#include <fstream>
#include <vector>

namespace vellumkite::bench {

namespace {

const char* const kTools[] = {
    "Read", "Bash", "Grep", "Edit", "WebFetch", "Glob", "mcp__claude-in-chrome__get_page_text",
    "Task", "Write"};

std::string filler(std::mt19937_64& rng, std::size_t n) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz     0123456789(){};=.,_-";
    std::string s(n, ' ');
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 8 == 0)
            bits = rng();
        s[i] = alphabet[(bits >> ((i % 8) * 8)) % (sizeof alphabet - 1)];
    }
    // Escapes as they appear in real tool output.
    for (std::size_t i = 97; i + 2 < n; i += 211) {
        s[i] = '\\';
        s[i + 1] = 'n';
    }
    return s;
}

std::string base64(std::mt19937_64& rng, std::size_t n) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s(n, 'A');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = alphabet[rng() % 64];
    return s;
}

} // namespace

LogTree::LogTree(std::filesystem::path root, std::uint64_t seed)
    : root_(std::move(root)), rng_(seed) {}

LogTree::Usage LogTree::randomUsage() {
    Usage u;
    u.input = rng_() % 40;
    u.cacheRead = 20000 + rng_() % 180000;
    u.cacheWrite = rng_() % 6000;
    u.cacheWrite1h = rng_() % 5 == 0 ? u.cacheWrite : 0;
    u.output = 1 + rng_() % 900;
    return u;
}

std::string LogTree::replyLine(const std::string& session, const std::string& messageId,
                               Instant time, const std::string& toolId, const std::string& toolName,
                               int part, const Usage& u) {
    std::string content;
    if (part == 0)
        content = R"([{"type":"text","text":")" + filler(rng_, 200 + rng_() % 1200) + R"("}])";
    else
        content = R"([{"type":"tool_use","id":")" + toolId + R"(","name":")" + toolName +
                  R"(","input":{"file_path":"/home/you/src/app/main.cpp","limit":200}}])";
    return R"({"parentUuid":")" + uuid() +
           R"(","isSidechain":false,"userType":"external","cwd":"/home/you/work/project-)" +
           session.substr(0, 2) + R"(","sessionId":")" + session +
           R"(","version":"1.0.90","gitBranch":"main","message":{"id":")" + messageId +
           R"(","type":"message","role":"assistant","model":"claude-sonnet-4-5","content":)" +
           content + R"(,"stop_reason":null,"stop_sequence":null,"usage":{"input_tokens":)" +
           std::to_string(u.input) + R"(,"cache_creation_input_tokens":)" +
           std::to_string(u.cacheWrite) + R"(,"cache_read_input_tokens":)" +
           std::to_string(u.cacheRead) + R"(,"cache_creation":{"ephemeral_5m_input_tokens":)" +
           std::to_string(u.cacheWrite - u.cacheWrite1h) + R"(,"ephemeral_1h_input_tokens":)" +
           std::to_string(u.cacheWrite1h) + R"(},"output_tokens":)" + std::to_string(u.output) +
           R"(,"service_tier":"standard"}},"requestId":"req_)" + messageId.substr(4) +
           R"(","type":"assistant","uuid":")" + uuid() + R"(","timestamp":")" +
           Timestamp::format(time) + R"("})";
}

std::string LogTree::resultLine(const std::string& session, Instant time, const std::string& toolId,
                                std::size_t textBytes, std::size_t imageBytes) {
    std::string content;
    if (imageBytes) {
        content =
            R"([{"type":"image","source":{"type":"base64","media_type":"image/png","data":")" +
            base64(rng_, imageBytes) + R"("}},{"type":"text","text":"Screenshot taken"}])";
    } else {
        content = '"';
        content += filler(rng_, textBytes);
        content += '"';
    }
    return R"({"parentUuid":")" + uuid() +
           R"(","isSidechain":false,"userType":"external","cwd":"/home/you/work/project-)" +
           session.substr(0, 2) + R"(","sessionId":")" + session +
           R"(","version":"1.0.90","gitBranch":"main","type":"user","message":{"role":"user","content":[{"tool_use_id":")" +
           toolId + R"(","type":"tool_result","content":)" + content + R"(}]},"uuid":")" + uuid() +
           R"(","timestamp":")" + Timestamp::format(time) + R"(","toolUseResult":{"type":"text"}})";
}

std::string LogTree::promptLine(const std::string& session, Instant time) {
    return R"({"parentUuid":null,"isSidechain":false,"userType":"external","cwd":"/home/you/work/project","sessionId":")" +
           session + R"(","version":"1.0.90","type":"user","message":{"role":"user","content":")" +
           filler(rng_, 80 + rng_() % 400) + R"("},"uuid":")" + uuid() + R"(","timestamp":")" +
           Timestamp::format(time) + R"("})";
}

std::size_t LogTree::appendExchange(const std::filesystem::path& file, const std::string& session,
                                    Instant time, bool withResults) {
    std::string text;
    if (rng_() % 4 == 0)
        text += promptLine(session, time) + "\n";
    const std::string messageId =
        "msg_" + std::to_string(++counter_) + "x" + std::to_string(rng_() % 100000);
    const int calls = 1 + static_cast<int>(rng_() % 3);
    std::vector<std::pair<std::string, std::string>> toolIds;
    // Streamed: every line but the last carries a provisional output count of 1 to 12.
    const Usage usage = randomUsage();
    const auto lineUsage = [&](int part) {
        Usage u = usage;
        if (part < calls)
            u.output = 1 + rng_() % 12;
        return u;
    };
    text += replyLine(session, messageId, time, "", "", 0, lineUsage(0)) + "\n";
    for (int c = 0; c < calls; ++c) {
        const std::string id = "toolu_" + std::to_string(counter_) + "_" + std::to_string(c);
        const std::string name = kTools[rng_() % std::size(kTools)];
        toolIds.emplace_back(id, name);
        text += replyLine(session, messageId, time, id, name, c + 1, lineUsage(c + 1)) + "\n";
    }
    if (withResults) {
        for (const auto& [id, name] : toolIds) {
            const bool image = rng_() % 25 == 0;
            text += resultLine(session, addSeconds(time, 2), id, 1024 + rng_() % (59 * 1024),
                               image ? 50 * 1024 + rng_() % (350 * 1024) : 0) +
                    "\n";
        }
    }
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << text;
    return text.size();
}

void LogTree::generate(std::uint64_t bytes, int files, Instant now, int days) {
    std::vector<std::filesystem::path> paths;
    std::vector<std::string> sessions;
    for (int f = 0; f < files; ++f) {
        sessions.push_back(uuid());
        const auto dir = root_ / ("-home-you-work-project-" + std::to_string(f % 23));
        std::filesystem::create_directories(dir);
        paths.push_back(dir / (sessions.back() + ".jsonl"));
    }
    const double span = days * 86400.0;
    std::uint64_t written = 0;
    std::uint64_t step = 0;
    const std::uint64_t estimatedSteps = std::max<std::uint64_t>(1, bytes / 40000);
    while (written < bytes) {
        // Every file gets an exchange first, then they grow at random.
        const std::size_t f = step < paths.size() ? step : rng_() % paths.size();
        const double age = span * (1.0 - static_cast<double>(step) / estimatedSteps);
        written += appendExchange(paths[f], sessions[f], addSeconds(now, -std::max(age, 1.0)));
        ++step;
    }
}

} // namespace vellumkite::bench

namespace vellumkite::bench {

void LogTree::generateLight(int exchanges, int files, Instant now, double days) {
    std::vector<std::string> sessions;
    std::vector<std::string> texts(static_cast<std::size_t>(files));
    for (int f = 0; f < files; ++f)
        sessions.push_back(uuid());
    const double span = days * 86400.0;
    for (int i = 0; i < exchanges; ++i) {
        const auto f = static_cast<std::size_t>(rng_() % static_cast<std::uint64_t>(files));
        const Instant t = addSeconds(now, -span * (1.0 - static_cast<double>(i) / exchanges) - 5);
        const std::string id = "toolu_l" + std::to_string(i);
        texts[f] += replyLine(sessions[f], "msg_l" + std::to_string(i), t, id,
                              kTools[rng_() % std::size(kTools)], 1, randomUsage()) +
                    "\n";
        texts[f] += resultLine(sessions[f], addSeconds(t, 1), id, 100 + rng_() % 1900, 0) + "\n";
    }
    for (int f = 0; f < files; ++f) {
        const auto dir = root_ / ("-home-you-work-light-" + std::to_string(f % 17));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / (sessions[static_cast<std::size_t>(f)] + ".jsonl"), std::ios::binary)
            << texts[static_cast<std::size_t>(f)];
    }
}

} // namespace vellumkite::bench
