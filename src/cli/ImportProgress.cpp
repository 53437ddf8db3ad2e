#include "ImportProgress.hpp"

#include "Fd.hpp"
#include "Format.hpp"
#include "StatusScreen.hpp"
#include "Terminal.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

namespace {

using Steady = std::chrono::steady_clock;

std::string megabytes(std::uint64_t bytes) {
    return Format::grouped(static_cast<std::int64_t>((bytes + (1 << 19)) >> 20)) + " MB";
}

std::string timeLeft(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return {};
    const auto s = static_cast<long long>(std::ceil(seconds));
    if (s < 60)
        return "about " + std::to_string(std::max(1LL, s)) + " s left";
    return "about " + std::to_string((s + 59) / 60) + " min left";
}

} // namespace

ImportProgress::ImportProgress(int fd)
    : fd_(fd), enabled_(Terminal::isTerminal(fd)), start_(Steady::now()) {}

std::string ImportProgress::line(const HistoryUpdate::Progress& p, double seconds, int width) {
    const double share =
        p.bytesTotal ? static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal) : 1.0;
    std::string text = "Reading logs for the history  ";
    const std::string figures = "  " + Format::percent(share * 100) + " \u00b7 " +
                                Format::grouped(static_cast<std::int64_t>(p.filesDone)) + " of " +
                                Format::grouped(static_cast<std::int64_t>(p.filesTotal)) +
                                " files \u00b7 " + megabytes(p.bytesDone) + " of " +
                                megabytes(p.bytesTotal);
    const double rate = seconds > 0 ? static_cast<double>(p.bytesDone) / seconds : 0;
    const std::string left = rate > 0 && p.bytesDone > 0
                                 ? timeLeft(static_cast<double>(p.bytesTotal - p.bytesDone) / rate)
                                 : std::string();
    const auto used = StatusScreen::columns(text) + StatusScreen::columns(figures) +
                      StatusScreen::columns(left) + 3;
    const int barWidth = std::clamp(width - static_cast<int>(used), 10, 30);
    const int filled = static_cast<int>(std::lround(share * barWidth));
    for (int i = 0; i < barWidth; ++i)
        text += i < filled ? "\u2501" : "\u2500";
    text += figures;
    if (!left.empty())
        text += " \u00b7 " + left;
    return text;
}

void ImportProgress::update(const HistoryUpdate::Progress& p) {
    if (!enabled_)
        return;
    const auto now = Steady::now();
    // A quick update (the usual case: little is new) draws nothing.
    if (now - start_ < std::chrono::milliseconds(300) ||
        (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)))
        return;
    const int width = std::max(40, Terminal::columns(fd_));
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string text = line(p, seconds, width - 1);
    if (StatusScreen::columns(text) > static_cast<std::size_t>(width - 1)) // a narrow terminal
        text = "Reading logs for the history: " +
               Format::share(static_cast<double>(p.bytesDone), static_cast<double>(p.bytesTotal));
    (void)Fd::writeAll(fd_, "\r\033[K" + text);
    drawn_ = true;
    lastDraw_ = now;
}

void ImportProgress::finish() {
    if (drawn_)
        (void)Fd::writeAll(fd_, "\r\033[K");
    drawn_ = false;
}

} // namespace vellumkite
