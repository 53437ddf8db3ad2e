#include "StatusScreen.hpp"

#include "Format.hpp"
#include "Gauge.hpp"
#include "Texts.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

namespace {

constexpr const char* kBold = "1";
constexpr const char* kDim = "2";
constexpr const char* kGreen = "32";
constexpr const char* kOrange = "33";
constexpr const char* kRed = "31";
constexpr const char* kAccent = "36";
constexpr const char* kPlain = nullptr;

constexpr std::string_view kDot = "\u25cf";

// A run of text in one style.
struct Piece {
    std::string text;
    const char* code = kPlain;
};
using Pieces = std::vector<Piece>;

std::size_t width(const Pieces& pieces) {
    std::size_t n = 0;
    for (const auto& p : pieces)
        n += StatusScreen::columns(p.text);
    return n;
}

class Lines {
public:
    explicit Lines(const StatusScreen::Style& style) : style_(style) {}

    void add(const Pieces& pieces) {
        std::string line;
        for (const auto& p : pieces) {
            if (p.code && style_.colour && !p.text.empty())
                line += "\x1b[" + std::string(p.code) + "m" + p.text + "\x1b[0m";
            else
                line += p.text;
        }
        lines_.push_back(std::move(line));
    }
    void blank() { lines_.emplace_back(); }

    // The left pieces, then the right ones ending at the report's width, at least two columns
    // apart. `shrink` names a left piece that is cut short when the two would not fit.
    void row(Pieces left, const Pieces& right, int shrink = -1) {
        const std::size_t total = static_cast<std::size_t>(std::max(style_.width, 1));
        const std::size_t need = width(left) + 2 + width(right);
        if (need > total && shrink >= 0) {
            Piece& p = left[static_cast<std::size_t>(shrink)];
            const std::size_t over = need - total;
            const std::size_t has = StatusScreen::columns(p.text);
            p.text = StatusScreen::fit(p.text, has > over + 1 ? has - over : 1);
        }
        const std::size_t used = width(left) + width(right);
        left.push_back({std::string(used + 2 <= total ? total - used : 2, ' ')});
        left.insert(left.end(), right.begin(), right.end());
        add(left);
    }

    // Word-wrapped to the report's width, each line after `indent` spaces.
    void wrapped(std::string_view text, const char* code, std::size_t indent = 0) {
        const std::size_t total = static_cast<std::size_t>(std::max(style_.width, 1));
        const std::size_t room = total > indent + 10 ? total - indent : 10;
        std::string line;
        std::size_t lineCols = 0;
        auto flush = [&] {
            add({{std::string(indent, ' ')}, {line, code}});
            line.clear();
            lineCols = 0;
        };
        while (!text.empty()) {
            const auto space = text.find(' ');
            const std::string_view word = text.substr(0, space);
            const std::size_t cols = StatusScreen::columns(word);
            if (lineCols > 0 && lineCols + 1 + cols > room)
                flush();
            if (lineCols > 0) {
                line += ' ';
                ++lineCols;
            }
            line += word;
            lineCols += cols;
            text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        }
        if (lineCols > 0)
            flush();
    }

    std::string text() const {
        std::string out;
        for (const auto& l : lines_)
            out += l + "\n";
        return out;
    }

private:
    const StatusScreen::Style& style_;
    std::vector<std::string> lines_;
};

const char* levelColour(Level level) {
    switch (level) {
    case Level::alert:
        return kRed;
    case Level::warn:
        return kOrange;
    case Level::info:
        break;
    }
    return kGreen;
}

std::string repeat(std::string_view s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

void limitRow(Lines& out, const StatusScreen::Style& style, const std::string& title,
              const Limits::Window& w, Instant now) {
    const Piece right{Texts::limitDetail(w, now), kDim};
    // A gauge of up to 20 cells between the title and the figures, when there is room.
    const int room = style.width - static_cast<int>(StatusScreen::columns(title)) - 4 -
                     static_cast<int>(StatusScreen::columns(right.text));
    const int cells = std::min(room, 20);
    if (cells < 5) {
        out.row({{title, kBold}}, {right});
        return;
    }
    const double clamped = std::isnan(w.usedPercent) ? 0 : std::clamp(w.usedPercent, 0.0, 100.0);
    const auto filled = static_cast<std::size_t>(std::lround(clamped / 100.0 * cells));
    out.row({{title, kBold},
             {"  "},
             {repeat("\u2501", filled), levelColour(Gauge::level(w.usedPercent))},
             {repeat("\u2500", static_cast<std::size_t>(cells) - filled), kDim}},
            {right});
}

void tipLines(Lines& out, const Tip& tip) {
    const char* symbol = "[i]  ";
    const char* colour = kAccent;
    if (tip.level == Tip::Level::warn) {
        symbol = "[!]  ";
        colour = kOrange;
    } else if (tip.level == Tip::Level::alert) {
        symbol = "[!!] ";
        colour = kRed;
    }
    out.add({{symbol, colour}, {tip.title, kBold}});
    out.wrapped(tip.text, kDim, 5);
}

double sparkScale(const std::vector<double>& values) {
    double m = 1; // never below 1, so small values are not blown up to full height
    for (const double v : values)
        if (v > m) // NaN never counts
            m = v;
    return m;
}

std::string_view sparkGlyph(double value, double scale) {
    static constexpr std::string_view blocks[] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                                  "\u2585", "\u2586", "\u2587", "\u2588"};
    // A zero keeps the lowest bar, as the views draw every bucket at least a little.
    double eighths = value > 0 ? std::round(value / scale * 8) : 1;
    if (!(eighths >= 1)) // a tiny value, or NaN from an infinite scale
        eighths = 1;
    return blocks[static_cast<std::size_t>(std::min(eighths, 8.0)) - 1];
}

std::string shareColumn(double weight, double total) {
    std::string s = Format::share(weight, total);
    const std::size_t cols = StatusScreen::columns(s);
    return (cols < 4 ? std::string(4 - cols, ' ') : "") + s + "  ";
}

} // namespace

std::size_t StatusScreen::columns(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string StatusScreen::sparkline(const std::vector<double>& values) {
    const double scale = sparkScale(values);
    std::string out;
    for (const double v : values)
        out += sparkGlyph(v, scale);
    return out;
}

std::string StatusScreen::chatText(const Snapshot& s) {
    if (!s.currentChat)
        return std::string(Texts::kNoChats);
    return Texts::chatSize(s.currentChat->size);
}

std::string StatusScreen::render(const Snapshot& s, const Thresholds& thresholds, Instant now,
                                 const Style& style) {
    Lines out(style);

    if (s.limits && (s.limits->fiveHour || s.limits->sevenDay)) {
        if (s.limits->fiveHour)
            limitRow(out, style, std::string(Texts::kFiveHourLimit), *s.limits->fiveHour, now);
        if (s.limits->sevenDay)
            limitRow(out, style, std::string(Texts::kWeeklyLimit), *s.limits->sevenDay, now);
    } else {
        out.add({{std::string(Texts::kLimits), kBold}});
        out.wrapped(Texts::kNoLimitsInTerminal, kDim);
    }
    out.blank();

    out.add({{std::string(Texts::kThisChat), kBold}});
    if (s.currentChat) {
        const Level level = chatLevel(s.currentChat->size, thresholds);
        const std::string text = std::string(" ").append(chatText(s));
        const int room = style.width - static_cast<int>(columns(text)) - 3;
        out.row({{std::string(kDot), levelColour(level)}, {text}},
                {{StatusScreen::fit(Format::lastPathComponent(s.currentChat->project),
                                    static_cast<std::size_t>(std::max(room, 1))),
                  kDim}});
        if (s.percentPerMessage) {
            std::string share(2, ' '); // under the text, past the dot
            share += Texts::perMessage(*s.percentPerMessage);
            out.add({{share, kDim}});
        }
    } else {
        out.add({{chatText(s), kDim}});
    }
    if (const auto tip = s.tip())
        tipLines(out, *tip);
    out.blank();

    out.row({{std::string(Texts::kLive), kBold}}, {{Texts::burnRate(s.burnPerMin), kDim}});
    Pieces bars;
    const double scale = sparkScale(s.sparkline);
    // Empty minutes are drawn faint, busy ones in the accent colour, as in the views.
    for (const double v : s.sparkline) {
        const char* code = v > 0 ? kAccent : kDim;
        if (bars.empty() || bars.back().code != code)
            bars.push_back({{}, code});
        bars.back().text += sparkGlyph(v, scale);
    }
    out.add(bars);
    out.blank();

    out.add({{std::string(Texts::kTopChats), kBold}});
    if (s.topChats.empty())
        out.add({{std::string(Texts::kNoTopChats), kDim}});
    for (const auto& c : s.topChats)
        out.row({{shareColumn(c.weight, s.todayWeight)}, {Format::lastPathComponent(c.project)}},
                {{Texts::chatDetail(c, now), kDim}}, 1);
    out.blank();

    out.add({{std::string(Texts::kToolEaters), kBold}});
    if (s.toolEaters.empty())
        out.add({{std::string(Texts::kNoToolEaters), kDim}});
    for (const auto& e : s.toolEaters)
        out.row({{shareColumn(e.weight, s.todayWeight)}, {e.category}},
                {{Texts::toolDetail(e), kDim}}, 1);
    if (!s.toolEaters.empty())
        out.wrapped(Texts::kToolNote, kDim);
    return out.text();
}

std::string StatusScreen::fit(const std::string& text, std::size_t n) {
    if (StatusScreen::columns(text) <= n)
        return text;
    if (n == 0)
        return {};
    std::size_t kept = 0, i = 0;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && kept++ == n - 1)
            break;
    }
    return text.substr(0, i) + "\u2026";
}

} // namespace vellumkite
