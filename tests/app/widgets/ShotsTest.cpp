// Renders the components into PNG files to be looked at, in light and dark palettes, at the
// screen's pixel ratio (QT_SCALE_FACTOR=2 gives the 2x set). The folder is $VELLUMKITE_SHOTS,
// else "shots" in the build directory.
#include "LimitBar.hpp"
#include "Sparkline.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "UsageBar.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {

const Instant kNow = fromUnixSeconds(1'750'000'000);

// A popover-wide panel in a light or dark palette.
class ShotsTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        const bool dark = GetParam();
        palette.setColor(QPalette::Window,
                         dark ? QColor(0x26, 0x26, 0x28) : QColor(0xF2, 0xF2, 0xF4));
        palette.setColor(QPalette::WindowText,
                         dark ? QColor(0xF5, 0xF5, 0xF7) : QColor(0x1D, 0x1D, 0x1F));
        palette.setColor(QPalette::Highlight,
                         dark ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF));
        host.setPalette(palette);
        host.setAutoFillBackground(true);
        host.setFixedWidth(320);
        layout->setContentsMargins(16, 16, 16, 16);
        layout->setSpacing(14);
    }

    // Grabs the panel into name-light.png or name-dark.png (with @2x at twice the density).
    QImage save(const QString& name) {
        host.adjustSize();
        host.show();
        const QPixmap pm = host.grab();
        const qreal dpr = pm.devicePixelRatio();
        QDir dir(qEnvironmentVariableIsSet("VELLUMKITE_SHOTS")
                     ? qEnvironmentVariable("VELLUMKITE_SHOTS")
                     : QStringLiteral(VELLUMKITE_DEFAULT_SHOTS));
        dir.mkpath(QStringLiteral("."));
        const QString file = dir.filePath(QStringLiteral("%1-%2%3.png")
                                              .arg(name, GetParam() ? "dark" : "light",
                                                   dpr > 1 ? QStringLiteral("@%1x").arg(dpr) : ""));
        EXPECT_TRUE(pm.save(file)) << file.toStdString();
        EXPECT_EQ(pm.size(), host.size() * dpr);
        return pm.toImage();
    }

    // The colour at a point of a widget in the grabbed panel, whatever the pixel ratio.
    static QColor at(const QImage& image, const QWidget* w, QPoint p) {
        const QPointF inHost =
            (QPointF(w->mapTo(w->window(), p)) + QPointF(0.5, 0.5)) * image.devicePixelRatio();
        return image.pixelColor(inHost.toPoint());
    }

    QPalette palette;
    QWidget host;
    QVBoxLayout* layout = new QVBoxLayout(&host);
};

Tip tip(Tip::Level level, const char* title, const char* text) {
    return {"", level, title, text, std::nullopt};
}

} // namespace

TEST_P(ShotsTest, Gauges) {
    const Clock clock = [] { return kNow; };
    auto* five = new LimitBar(QStringLiteral("5-hour limit"), {34.5, kNow + 2h + 5min}, clock);
    auto* week = new LimitBar(QStringLiteral("Weekly limit"), {81.2, kNow + 76h}, clock);
    auto* unknown = new LimitBar(QStringLiteral("No number"), {qQNaN(), kNow + 5h}, clock);
    auto* fat = new UsageBar(62, 8);
    auto* spark = new Sparkline({0,    0,    120,  480,  900,  350, 0,   0, 0,  60,
                                 1400, 2200, 1800, 700,  0,    0,   0,   0, 30, 90,
                                 400,  1200, 2600, 3100, 1900, 800, 200, 0, 0,  450});
    spark->setFixedHeight(32);
    auto* quiet = new Sparkline(std::vector<double>(30, 0));
    quiet->setFixedHeight(24);
    for (QWidget* w : std::initializer_list<QWidget*>{five, week, unknown, fat, spark, quiet})
        layout->addWidget(w);
    const QImage image = save(QStringLiteral("gauges"));

    const auto fill = [&](double percent) {
        return UsageBar::geometry(QRectF(), percent, palette).fillColor;
    };
    EXPECT_EQ(at(image, five, {five->width() / 5, five->height() - 3}), fill(34.5));
    EXPECT_EQ(at(image, week, {week->width() / 2, week->height() - 3}), fill(81.2));
    EXPECT_EQ(at(image, fat, {fat->width() / 2, fat->height() / 2}), fill(62));
}

TEST_P(ShotsTest, TipCards) {
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
    for (TipCard* card : {info, warn, alert})
        layout->addWidget(card);
    const QImage image = save(QStringLiteral("tipcards"));

    for (TipCard* card : {info, warn, alert})
        EXPECT_EQ(card->height(), card->heightForWidth(card->width()));
    // The card's faint tint lies under its padding.
    const QColor padding = at(image, warn, {4, warn->height() / 2});
    EXPECT_NE(padding, palette.color(QPalette::Window));
    EXPECT_GT(padding.red(), padding.blue());
}

TEST_P(ShotsTest, Symbols) {
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
        for (const Symbol s : all) {
            auto* label = new QLabel;
            const QColor tint =
                s == Symbol::exclamationCircle ? Theme::orange() : Theme::primary(palette);
            label->setPixmap(
                Symbols::icon(s, tint).pixmap(QSize(size, size), host.devicePixelRatio()));
            row->addWidget(label);
            probe = s == Symbol::exclamationCircle ? label : probe;
        }
        layout->addLayout(row);
    }
    const QImage image = save(QStringLiteral("symbols"));
    // The filled circle's rim is orange; its middle holds the cut-out exclamation mark.
    const QPoint centre(probe->width() / 2, probe->height() / 2);
    EXPECT_EQ(at(image, probe, centre + QPoint(-11, 0)), Theme::orange());
    EXPECT_EQ(at(image, probe, centre + QPoint(0, -4)), palette.color(QPalette::Window));
}

INSTANTIATE_TEST_SUITE_P(Palettes, ShotsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });
