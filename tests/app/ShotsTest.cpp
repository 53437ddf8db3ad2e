// Renders each component into PNG files for a look by eye, in light and dark palettes, at the
// screen's pixel ratio (run with QT_SCALE_FACTOR=2 for the 2x set). The folder is
// $VELLUMKITE_SHOTS, else "shots" in the build directory.
#include "LimitBar.hpp"
#include "Sparkline.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "UsageBar.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QVBoxLayout>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {

const Instant kNow = fromUnixSeconds(1'750'000'000);

QPalette palette(bool dark) {
    QPalette p;
    const QColor window = dark ? QColor(0x26, 0x26, 0x28) : QColor(0xF2, 0xF2, 0xF4);
    const QColor text = dark ? QColor(0xF5, 0xF5, 0xF7) : QColor(0x1D, 0x1D, 0x1F);
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, window);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    p.setColor(QPalette::Highlight, dark ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF));
    return p;
}

QString shotsDir() {
    const QString dir = qEnvironmentVariableIsSet("VELLUMKITE_SHOTS")
                            ? qEnvironmentVariable("VELLUMKITE_SHOTS")
                            : QStringLiteral(VELLUMKITE_DEFAULT_SHOTS);
    QDir().mkpath(dir);
    return dir;
}

// A popover-wide panel of the given widgets, grabbed and saved as name-light/-dark[@2x].png.
struct Panel {
    explicit Panel(bool dark) {
        host.setPalette(palette(dark));
        host.setAutoFillBackground(true);
        host.setFixedWidth(320);
        layout = new QVBoxLayout(&host);
        layout->setContentsMargins(16, 16, 16, 16);
        layout->setSpacing(14);
    }

    QImage save(const QString& name, bool dark) {
        host.adjustSize();
        host.show();
        layout->activate();
        const QPixmap pm = host.grab();
        const qreal dpr = pm.devicePixelRatio();
        const QString file =
            QDir(shotsDir())
                .filePath(name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")) +
                          (dpr > 1 ? QStringLiteral("@%1x").arg(dpr) : QString()) +
                          QStringLiteral(".png"));
        EXPECT_TRUE(pm.save(file)) << file.toStdString();
        EXPECT_EQ(pm.size(), host.size() * dpr);
        return pm.toImage();
    }

    // The colour at a widget's point in the grabbed image, whatever the pixel ratio.
    static QColor at(const QImage& image, const QWidget* w, QPoint p) {
        const QPoint inHost = w->mapTo(w->window(), p);
        const qreal dpr = image.devicePixelRatio();
        return image.pixelColor(
            QPoint(qRound((inHost.x() + 0.5) * dpr - 0.5), qRound((inHost.y() + 0.5) * dpr - 0.5)));
    }

    QWidget host;
    QVBoxLayout* layout;
};

Tip tip(Tip::Level level, const char* title, const char* text) {
    Tip t;
    t.level = level;
    t.title = title;
    t.text = text;
    return t;
}

class ShotsTest : public ::testing::TestWithParam<bool> {};

} // namespace

TEST_P(ShotsTest, Gauges) {
    const bool dark = GetParam();
    Panel panel(dark);
    const Clock clock = [] { return kNow; };
    auto* five = new LimitBar(QStringLiteral("5-hour limit"), {34.5, kNow + 2h + 5min}, clock);
    auto* week = new LimitBar(QStringLiteral("Weekly limit"), {81.2, kNow + 76h}, clock);
    auto* over = new LimitBar(QStringLiteral("Over the top"), {130, kNow - 1min}, clock);
    auto* unknown = new LimitBar(QStringLiteral("No number"), {qQNaN(), kNow + 5h}, clock);
    auto* fat = new UsageBar(62, 8);
    std::vector<double> values{0,    0,    120,  480,  900,  350, 0,   0, 0,  60,
                               1400, 2200, 1800, 700,  0,    0,   0,   0, 30, 90,
                               400,  1200, 2600, 3100, 1900, 800, 200, 0, 0,  450};
    auto* spark = new Sparkline(values);
    spark->setFixedHeight(32);
    auto* quiet = new Sparkline(std::vector<double>(30, 0));
    quiet->setFixedHeight(24);
    for (QWidget* w : std::initializer_list<QWidget*>{five, week, over, unknown, fat, spark, quiet})
        panel.layout->addWidget(w);
    const QImage image = panel.save(QStringLiteral("gauges"), dark);

    // The fills show their colours where the layout put them.
    EXPECT_EQ(Panel::at(image, five, {five->width() / 5, five->height() - 3}), Theme::green());
    EXPECT_EQ(Panel::at(image, week, {week->width() / 2, week->height() - 3}), Theme::red());
    EXPECT_EQ(Panel::at(image, fat, {fat->width() / 2, fat->height() / 2}), Theme::orange());
    EXPECT_EQ(five->height(), five->sizeHint().height());
}

TEST_P(ShotsTest, TipCards) {
    const bool dark = GetParam();
    Panel panel(dark);
    auto* info = new TipCard(tip(Tip::Level::info, "Fresh chats are cheap",
                                 "A new chat starts small. Paste a short summary of where you "
                                 "are instead of carrying the whole history along."));
    auto* warn = new TipCard(
        tip(Tip::Level::warn, "This chat is getting long",
            "It is 140k tokens now, and Claude re-reads all of it with every message. Start a "
            "new chat with a short summary when you finish this step; big tool outputs like "
            "whole files and long logs make it grow even faster."),
        true);
    auto* alert = new TipCard(tip(Tip::Level::alert, "5-hour limit at 92%",
                                  "At this pace you reach it in about 20 minutes, 1h 10m "
                                  "before it resets."));
    for (QWidget* w : std::initializer_list<QWidget*>{info, warn, alert})
        panel.layout->addWidget(w);
    const QImage image = panel.save(QStringLiteral("tipcards"), dark);

    for (TipCard* card : {info, warn, alert})
        EXPECT_EQ(card->height(), card->heightForWidth(card->width()));
    // The card's own tint lies under its padding.
    const QColor corner = Panel::at(image, warn, {4, warn->height() / 2});
    const QColor window = palette(dark).color(QPalette::Window);
    EXPECT_NE(corner, window);
    EXPECT_GT(corner.red(), corner.blue());
}

TEST_P(ShotsTest, Symbols) {
    const bool dark = GetParam();
    Panel panel(dark);
    const QPalette p = palette(dark);
    const Symbol all[] = {Symbol::gauge,
                          Symbol::lightbulb,
                          Symbol::exclamationCircle,
                          Symbol::exclamationTriangle,
                          Symbol::xmarkCircle,
                          Symbol::lines,
                          Symbol::checkmark};
    QLabel* probe = nullptr;
    for (const int size : {16, 22, 32}) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        for (const Symbol s : all) {
            auto* label = new QLabel;
            const QColor tint = s == Symbol::lightbulb             ? Theme::accent(p)
                                : s == Symbol::exclamationCircle   ? Theme::orange()
                                : s == Symbol::exclamationTriangle ? Theme::red()
                                : s == Symbol::lines               ? Theme::tertiary(p)
                                : s == Symbol::xmarkCircle         ? Theme::secondary(p)
                                                                   : Theme::primary(p);
            label->setPixmap(
                Symbols::icon(s, tint).pixmap(QSize(size, size), panel.host.devicePixelRatio()));
            row->addWidget(label);
            if (size == 32 && s == Symbol::exclamationCircle)
                probe = label;
        }
        row->addStretch();
        panel.layout->addLayout(row);
    }
    const QImage image = panel.save(QStringLiteral("symbols"), dark);
    ASSERT_NE(probe, nullptr);
    // The filled circle's rim is orange; its centre column holds the cut-out exclamation mark.
    const QPoint centre(probe->width() / 2, probe->height() / 2);
    EXPECT_EQ(Panel::at(image, probe, centre + QPoint(-11, 0)), Theme::orange());
    EXPECT_EQ(Panel::at(image, probe, centre + QPoint(0, -4)), p.color(QPalette::Window));
}

INSTANTIATE_TEST_SUITE_P(Palettes, ShotsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });
