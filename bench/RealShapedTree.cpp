#include "RealShapedTree.hpp"

#include "Timestamp.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace vellumkite::bench {

namespace fs = std::filesystem;

namespace {

const char* const kProjects[] = {"vellumkite", "website",  "notes",    "api-server", "infra",
                                 "mobile-app", "data-lab", "dotfiles", "billing",    "docs",
                                 "search",     "scraper",  "game-jam", "compiler"};

// Tools by how often a heavy user's replies call them.
struct ToolShare {
    const char* name;
    int weight;
};
const ToolShare kTools[] = {{"Read", 30},     {"Bash", 24},
                            {"Grep", 9},      {"Edit", 12},
                            {"Glob", 5},      {"Write", 4},
                            {"WebFetch", 3},  {"Task", 3},
                            {"TodoWrite", 5}, {"mcp__claude-in-chrome__computer", 3},
                            {"WebSearch", 2}};

const char* const kWords[] = {
    "const",  "auto",  "return", "if",      "for",    "std::string", "int",    "void",
    "self",   "value", "item",   "index",   "result", "error",       "config", "path",
    "buffer", "size",  "count",  "=",       "==",     "+=",          "->",     "::",
    "(",      ")",     "{",      "}",       ";",      ",",           "[",      "]",
    "0",      "1",     "42",     "nullptr", "true",   "false",       "const&", "template"};
// Characters a JSON string carries raw but that take more than one byte.
const char* const kWide[] = {"é", "ü", "✓", "→", "—", "🚀", "日本"};

// The record's own id and time close every line.
std::string tail(const std::string& uuid, Instant time) {
    return R"("uuid":")" + uuid + R"(","timestamp":")" + Timestamp::format(time) + R"("})";
}

} // namespace

struct RealShapedTree::Log {
    fs::path path;
    std::string cwd, sessionId, agentId; // agentId empty for a chat's own log
    std::uint64_t bytes = 0;             // about how much to write
    double startAge = 0, span = 0;       // seconds before now it starts, and how long it lasts
    std::string model;
};

RealShapedTree::RealShapedTree(fs::path projects, std::uint64_t seed)
    : projects_(std::move(projects)), rng_(seed) {
    // About 2 MB of code-like text, as tool output carries it: escaped line breaks, quotes,
    // tabs, backslashes, terminal colours as \u escapes, and raw multi-byte characters.
    while (pool_.size() < (std::size_t{2} << 20)) {
        lineStarts_.push_back(pool_.size());
        const int indent = static_cast<int>(rng_() % 5) * 2;
        if (rng_() % 3 == 0) { // a numbered line as a file read shows it
            pool_ += std::string(
                static_cast<std::size_t>(6 - std::min<int>(6, 1 + static_cast<int>(rng_() % 4))),
                ' ');
            pool_ += std::to_string(1 + rng_() % 2000) + "→";
        }
        pool_.append(static_cast<std::size_t>(indent), ' ');
        const int words = 2 + static_cast<int>(rng_() % 12);
        for (int w = 0; w < words; ++w) {
            const auto r = rng_() % 100;
            if (r < 6)
                pool_ += "\\\"" + std::string(kWords[rng_() % std::size(kWords)]) + "\\\"";
            else if (r < 8)
                pool_ += "\\t";
            else if (r < 9)
                pool_ += "C:\\\\Users\\\\you";
            else if (r < 10)
                pool_ += "\\u001b[3" + std::to_string(rng_() % 8) + "m";
            else if (r < 12)
                pool_ += kWide[rng_() % std::size(kWide)];
            else if (r < 13)
                pool_ += "\\u00e9";
            else
                pool_ += kWords[rng_() % std::size(kWords)];
            pool_ += ' ';
        }
        pool_ += "\\n";
    }
}

std::string RealShapedTree::id(std::string_view prefix, std::size_t length) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(prefix);
    for (std::size_t i = 0; i < length; ++i)
        s += alphabet[rng_() % (sizeof alphabet - 1)];
    return s;
}

std::string RealShapedTree::base64(std::size_t bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s(bytes, 'A');
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        if (i % 10 == 0)
            bits = rng_();
        s[i] = alphabet[(bits >> ((i % 10) * 6)) & 63];
    }
    return s;
}

std::string_view RealShapedTree::text(std::size_t bytes) {
    thread_local std::string out;
    out.clear();
    std::size_t line = rng_() % lineStarts_.size();
    while (out.size() < bytes) {
        const std::size_t from = lineStarts_[line];
        const std::size_t to = line + 1 < lineStarts_.size() ? lineStarts_[line + 1] : pool_.size();
        out.append(pool_, from, to - from);
        line = (line + 1) % lineStarts_.size();
    }
    return out;
}

std::size_t RealShapedTree::resultSize() {
    // A few outputs are huge (a whole generated file read, a build log); the rest spread around
    // a few KB.
    if (rng_() % 6000 == 0)
        return (std::size_t{1} << 20) + rng_() % (std::size_t{7} << 20);
    std::normal_distribution<double> normal(std::log(2500.0), 1.2);
    return static_cast<std::size_t>(std::clamp(std::exp(normal(rng_)), 40.0, 250.0 * 1024));
}

std::string RealShapedTree::head(const Log& log, const std::string& parent) {
    std::string s = R"({"parentUuid":)" +
                    (parent.empty() ? std::string("null") : "\"" + parent + "\"") +
                    R"(,"isSidechain":)" + (log.agentId.empty() ? "false" : "true") +
                    R"(,"userType":"external","cwd":")" + log.cwd + R"(","sessionId":")" +
                    log.sessionId + R"(","version":")" + version_ + R"(","gitBranch":"main",)";
    if (!log.agentId.empty())
        s += R"("agentId":")" + log.agentId + R"(",)";
    return s;
}

std::string RealShapedTree::replyLine(const Log& log, const std::string& messageId,
                                      const std::string& requestId, const std::string& block,
                                      const std::string& usage, Instant time) {
    const std::string parent = lastUuid_;
    lastUuid_ = uuid();
    return head(log, parent) + R"("message":{"model":")" + log.model + R"(","id":")" + messageId +
           R"(","type":"message","role":"assistant","content":[)" + block +
           R"(],"stop_reason":null,"stop_sequence":null,"usage":)" + usage + R"(},"requestId":")" +
           requestId + R"(","type":"assistant",)" + tail(lastUuid_, time);
}

std::string RealShapedTree::resultLine(const Log& log, const std::string& toolId,
                                       const std::string& tool, Instant time) {
    const std::string parent = lastUuid_;
    lastUuid_ = uuid();
    ++summary_.results;
    std::string content, extra;
    const bool small = tool == "Edit" || tool == "Write" || tool == "TodoWrite";
    if (rng_() % 30 == 0) {
        content =
            R"("<tool_use_error>File has not been read yet. Read it first before writing to it.</tool_use_error>","is_error":true)";
        extra = R"("Error: File has not been read yet.")";
    } else if (tool.rfind("mcp__", 0) == 0 && rng_() % 3 == 0) {
        content =
            R"([{"type":"text","text":"Took a screenshot"},{"type":"image","source":{"type":"base64","media_type":"image/jpeg","data":")" +
            base64(50 * 1024 + rng_() % (350 * 1024)) + R"("}}])";
        extra = R"([{"type":"text","text":"Took a screenshot"}])";
    } else if (small) {
        const std::string said = "The file /home/you/work/app/src/main.cpp has been updated. "
                                 "Here's the result of running `cat -n` on a snippet:\\n" +
                                 std::string(text(100 + rng_() % 600));
        content = "\"" + said + "\"";
        extra =
            R"({"filePath":"/home/you/work/app/src/main.cpp","oldString":"x","newString":"y","userModified":false})";
    } else {
        const std::string body(text(resultSize()));
        if (tool == "Task") {
            content = R"([{"type":"text","text":")" + body + R"("}])";
            extra = R"({"status":"completed","content":[{"type":"text","text":")" + body +
                    R"("}],"totalDurationMs":)" + std::to_string(5000 + rng_() % 200000) +
                    R"(,"totalTokens":)" + std::to_string(10000 + rng_() % 90000) + "}";
        } else {
            content = "\"" + body + "\"";
            if (tool == "Read")
                extra =
                    R"({"type":"text","file":{"filePath":"/home/you/work/app/src/module.cpp","content":")" +
                    body + R"(","numLines":)" + std::to_string(body.size() / 40 + 1) +
                    R"(,"startLine":1,"totalLines":)" + std::to_string(body.size() / 40 + 1) + "}}";
            else if (tool == "Bash")
                extra = R"({"stdout":")" + body +
                        R"(","stderr":"","interrupted":false,"isImage":false})";
            else if (tool == "WebFetch")
                extra = R"({"bytes":)" + std::to_string(body.size() * 3) +
                        R"(,"code":200,"codeText":"OK","result":")" + body +
                        R"(","durationMs":812,"url":"https://example.org/docs"})";
            else
                extra = R"({"mode":"content","numFiles":4,"filenames":[],"content":")" + body +
                        R"(","numLines":)" + std::to_string(body.size() / 40 + 1) + "}";
        }
    }
    return head(log, parent) +
           R"("type":"user","message":{"role":"user","content":[{"tool_use_id":")" + toolId +
           R"(","type":"tool_result","content":)" + content + "}]}," + R"("uuid":")" + lastUuid_ +
           R"(","timestamp":")" + Timestamp::format(time) + R"(","toolUseResult":)" + extra + "}";
}

std::string RealShapedTree::otherLine(const Log& log, Instant time) {
    const auto r = rng_() % 10;
    if (r < 7) {
        std::string files;
        const int n = 1 + static_cast<int>(rng_() % 6);
        for (int i = 0; i < n; ++i) {
            if (i)
                files += ',';
            files += R"("src/module)" + std::to_string(i) + R"(.cpp":{"backupFileName":")" +
                     id("", 16) + R"(@v)" + std::to_string(1 + rng_() % 9) + R"(","version":)" +
                     std::to_string(1 + rng_() % 9) + R"(,"backupTime":")" +
                     Timestamp::format(time) + R"("})";
        }
        const std::string message = uuid();
        return R"({"type":"file-history-snapshot","messageId":")" + message +
               R"(","snapshot":{"messageId":")" + message + R"(","trackedFileBackups":{)" + files +
               R"(},"timestamp":")" + Timestamp::format(time) + R"("},"isSnapshotUpdate":false})";
    }
    const std::string parent = lastUuid_;
    lastUuid_ = uuid();
    return head(log, parent) +
           R"("type":"system","subtype":"informational","content":"Conversation compacted","isMeta":false,"level":"info",)" +
           tail(lastUuid_, time);
}

std::string RealShapedTree::exchange(const Log& log, Instant time) {
    std::string out;
    if (rng_() % 6 == 0 || lastUuid_.empty()) {
        const std::string parent = lastUuid_;
        lastUuid_ = uuid();
        out += head(log, parent) + R"("type":"user","message":{"role":"user","content":")" +
               std::string(text(60 + rng_() % 900)) + R"("},)" + tail(lastUuid_, time) + "\n";
    }
    // One reply, streamed as one line per content block, each with the usage so far.
    const std::string messageId = id("msg_01", 22);
    const std::string requestId = id("req_011C", 20);
    ++summary_.replies;
    std::vector<std::string> blocks;
    std::vector<std::pair<std::string, std::string>> calls;
    if (rng_() % 100 < 35)
        blocks.push_back(R"({"type":"thinking","thinking":")" +
                         std::string(text(200 + rng_() % 2800)) + R"(","signature":")" +
                         base64(300 + rng_() % 1200) + R"("})");
    const auto r = rng_() % 100;
    const int callCount = r < 25 ? 0 : r < 75 ? 1 : r < 92 ? 2 : 3;
    if (callCount == 0 || rng_() % 100 < 60)
        blocks.push_back(R"({"type":"text","text":")" + std::string(text(80 + rng_() % 2400)) +
                         R"("})");
    for (int c = 0; c < callCount; ++c) {
        int pick = static_cast<int>(rng_() % 100);
        const ToolShare* tool = std::begin(kTools);
        while (pick >= tool->weight && tool + 1 != std::end(kTools))
            pick -= (tool++)->weight;
        const std::string name = tool->name;
        const std::string toolId = id("toolu_01", 22);
        std::string input;
        if (name == "Read")
            input = R"({"file_path":"/home/you/work/app/src/module)" + std::to_string(rng_() % 90) +
                    R"(.cpp"})";
        else if (name == "Bash")
            input =
                R"({"command":"cmake --build build -j2 2>&1 | tail -n 40","description":"Build the project"})";
        else if (name == "Edit")
            input = R"({"file_path":"/home/you/work/app/src/main.cpp","old_string":")" +
                    std::string(text(100 + rng_() % 1900)) + R"(","new_string":")" +
                    std::string(text(100 + rng_() % 1900)) + R"("})";
        else if (name == "Write")
            input = R"({"file_path":"/home/you/work/app/src/new.cpp","content":")" +
                    std::string(text(500 + rng_() % 20000)) + R"("})";
        else if (name == "Task")
            input = R"({"description":"Survey the parser","prompt":")" +
                    std::string(text(300 + rng_() % 1700)) +
                    R"(","subagent_type":"general-purpose"})";
        else if (name == "TodoWrite") {
            input = R"({"todos":[)";
            const int n = 3 + static_cast<int>(rng_() % 6);
            for (int i = 0; i < n; ++i)
                input += std::string(i ? "," : "") + R"({"content":"Step )" + std::to_string(i) +
                         R"( of the plan","status":")" + (i < 2 ? "completed" : "pending") +
                         R"(","activeForm":"Working on step )" + std::to_string(i) + R"("})";
            input += "]}";
        } else
            input =
                R"({"pattern":"TurnParser::parse","path":"/home/you/work/app","output_mode":"content","-n":true})";
        blocks.push_back(R"({"type":"tool_use","id":")" + toolId + R"(","name":")" + name +
                         R"(","input":)" + input + "}");
        calls.emplace_back(toolId, name);
    }
    // Mostly 1-hour cache writes; the output count is provisional on all lines but the last.
    const std::int64_t input = rng_() % 10 == 0 ? 1000 + rng_() % 9000 : 1 + rng_() % 30;
    const std::int64_t cacheRead = 15000 + rng_() % 165000;
    const std::int64_t cacheWrite = rng_() % 4 == 0 ? 0 : rng_() % 8000;
    const std::int64_t oneHour = rng_() % 100 < 85 ? cacheWrite : 0;
    const std::int64_t output = 50 + rng_() % 3000;
    const bool web = calls.size() && calls.back().second == "WebSearch";
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::int64_t lineOutput = b + 1 == blocks.size() ? output : 1 + rng_() % 12;
        std::string usage =
            R"({"input_tokens":)" + std::to_string(input) + R"(,"cache_creation_input_tokens":)" +
            std::to_string(cacheWrite) + R"(,"cache_read_input_tokens":)" +
            std::to_string(cacheRead) + R"(,"cache_creation":{"ephemeral_5m_input_tokens":)" +
            std::to_string(cacheWrite - oneHour) + R"(,"ephemeral_1h_input_tokens":)" +
            std::to_string(oneHour) + R"(},"output_tokens":)" + std::to_string(lineOutput);
        if (web)
            usage += R"(,"server_tool_use":{"web_search_requests":1,"web_fetch_requests":0})";
        usage += R"(,"service_tier":"standard"})";
        out += replyLine(log, messageId, requestId, blocks[b], usage, time) + "\n";
    }
    const Instant later = addSeconds(time, 1 + static_cast<double>(rng_() % 20));
    for (const auto& [toolId, name] : calls)
        out += resultLine(log, toolId, name, later) + "\n";
    if (rng_() % 6 == 0)
        out += otherLine(log, later) + "\n";
    return out;
}

void RealShapedTree::writeLog(const Log& log, Instant now) {
    fs::create_directories(log.path.parent_path());
    std::ofstream out(log.path, std::ios::binary | std::ios::trunc);
    lastUuid_.clear();
    std::uint64_t written = 0;
    if (log.agentId.empty() && rng_() % 3 == 0) {
        const std::string line =
            R"({"type":"summary","summary":"Parser speed-up and tests","leafUuid":")" + uuid() +
            "\"}\n";
        out << line;
        written += line.size();
    }
    while (written < log.bytes) {
        // Replies spread evenly over the log's span, by bytes written.
        const double age =
            log.startAge - log.span * static_cast<double>(written) / static_cast<double>(log.bytes);
        const Summary before = summary_;
        const std::string text = exchange(log, addSeconds(now, -std::max(age, 30.0)));
        // Stop near the planned size rather than always past it.
        if (written > 0 && written + text.size() / 2 > log.bytes) {
            summary_ = before;
            break;
        }
        out << text;
        written += text.size();
    }
    ++summary_.logs;
    summary_.bytes += written;
    summary_.largestLog = std::max(summary_.largestLog, written);
}

RealShapedTree::Summary RealShapedTree::generate(std::uint64_t bytes, Instant now, int days) {
    summary_ = {};
    const double window = days * 86400.0;
    std::vector<Log> logs;
    std::uint64_t planned = 0;
    const auto session = [&](std::uint64_t size, const std::string& model) {
        Log log;
        const std::string project = kProjects[rng_() % std::size(kProjects)];
        log.cwd = "/home/you/work/" + project;
        log.sessionId = uuid();
        log.path = projects_ / ("-home-you-work-" + project) / (log.sessionId + ".jsonl");
        log.bytes = size;
        log.model = model;
        // Big chats last longer; every line stays inside the window.
        log.span = std::clamp(static_cast<double>(size) / 2e3, 600.0, window * 0.4);
        log.startAge = log.span + 60 +
                       std::uniform_real_distribution<double>(0, window - log.span - 120)(rng_);
        logs.push_back(log);
        planned += size;
        // Subagents, some in workflow folders, run inside their chat's span.
        if (rng_() % 100 < 35 || size > (std::uint64_t{100} << 20)) {
            const fs::path folder = log.path.parent_path() / log.sessionId / "subagents";
            const int agents = 1 + static_cast<int>(rng_() % 5);
            const std::string workflow = rng_() % 4 == 0 ? id("wf_", 12) : "";
            for (int a = 0; a < agents; ++a) {
                Log agent = log;
                agent.agentId = id("", 8);
                agent.path =
                    (workflow.empty() || a % 2 == 0 ? folder : folder / "workflows" / workflow) /
                    ("agent-" + agent.agentId + ".jsonl");
                agent.bytes = std::max<std::uint64_t>(
                    20 << 10, std::min<std::uint64_t>(size / (4 + rng_() % 20), 6 << 20));
                agent.model = rng_() % 2 ? "claude-haiku-4-5-20251001" : log.model;
                agent.span = std::max(60.0, log.span * 0.05);
                agent.startAge =
                    log.startAge - log.span * std::uniform_real_distribution<double>(0, 0.9)(rng_);
                logs.push_back(agent);
                planned += agent.bytes;
            }
        }
    };
    // A few logs of hundreds of MB, then a long tail of chats.
    session(bytes * 28 / 100, "claude-opus-4-1-20250805");
    session(bytes * 16 / 100, "claude-sonnet-4-5-20250929");
    std::uniform_real_distribution<double> unit(0.0001, 1.0);
    while (planned < bytes) {
        const double pareto = 24.0 * 1024 / std::pow(unit(rng_), 1 / 1.1);
        const auto size = static_cast<std::uint64_t>(std::min(pareto, 40.0 * 1024 * 1024));
        session(std::min(size, bytes - planned + (16 << 10)),
                rng_() % 5 == 0 ? "claude-opus-4-1-20250805" : "claude-sonnet-4-5-20250929");
    }
    for (const auto& log : logs)
        writeLog(log, now);
    return summary_;
}

} // namespace vellumkite::bench
