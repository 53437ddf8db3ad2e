// The tray icon at the sizes trays use (16, 22 and 24 pixels, at the screen's pixel ratio), on a
// light and a dark panel, whichever way the panel's colour was guessed: what it draws is chosen
// by measurement, and what it draws stands out from either panel. The pictures go to
// $VELLUMKITE_SHOTS/tray.
#include "TrayPicture.hpp"

#include "Desktop.hpp"
#include "Theme.hpp"
#include "ViewTestSupport.hpp"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

const QColor kLightPanel(0xF0, 0xF0, 0xF0), kDarkPanel(0x20, 0x22, 0x25);

// The icon over a panel, in device pixels.
QImage onPanel(QImage icon, const QColor& panel) {
    icon.setDevicePixelRatio(1); // pixel for pixel
    QImage out(icon.size(), QImage::Format_ARGB32);
    out.fill(panel);
    QPainter p(&out);
    p.drawImage(QPoint(0, 0), icon);
    return out;
}

// The pixels that stand out from the panel as a graphic must.
std::vector<bool> standsOut(const QImage& composite, const QColor& panel) {
    std::vector<bool> out;
    for (int y = 0; y < composite.height(); ++y)
        for (int x = 0; x < composite.width(); ++x)
            out.push_back(Theme::contrast(composite.pixelColor(x, y), panel) >=
                          Theme::kGraphicContrast);
    return out;
}

int count(const std::vector<bool>& v) {
    return static_cast<int>(std::count(v.begin(), v.end(), true));
}

int differing(const std::vector<bool>& a, const std::vector<bool>& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// The pixels the shape covers whole; its antialiased edges are part panel by nature.
int covered(const QImage& icon) {
    int n = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            n += icon.pixelColor(x, y).alpha() >= 230;
    return n;
}

qreal screenRatio() {
    return QGuiApplication::primaryScreen()->devicePixelRatio();
}

class TrayPictureTest : public ::testing::TestWithParam<bool> {
protected:
    bool darkGuess() const { return GetParam(); }
};

} // namespace

TEST(TrayPictureChoice, DrawsWhatReadsAtEachSize) {
    using L = TrayPicture::Layout;
    // At 16 pixels "34%" is too small to read: the number alone at full height is not.
    const auto small = TrayPicture::choose(QStringLiteral("34%"), 16, 1);
    EXPECT_EQ(small.layout, L::titleOnly);
    EXPECT_EQ(small.text, QStringLiteral("34"));
    EXPECT_GE(small.capHeight, TrayPicture::kLegibleCap);
    // Three digits do not read at 16 pixels: the gauge alone, the title in the tooltip.
    EXPECT_EQ(TrayPicture::choose(QStringLiteral("100%"), 16, 1).layout, L::gaugeOnly);
    EXPECT_EQ(TrayPicture::choose(QStringLiteral("34%"), 22, 1).layout, L::titleOnly);
    // Twice the pixels hold the gauge and the whole title.
    EXPECT_EQ(TrayPicture::choose(QStringLiteral("34%"), 22, 2).layout, L::gaugeOverTitle);
    EXPECT_EQ(TrayPicture::choose(QStringLiteral("34%"), 48, 1).layout, L::gaugeOverTitle);
    EXPECT_EQ(TrayPicture::choose(QString(), 22, 1).layout, L::gaugeOnly);
    // Whatever is drawn fits: the chosen size never exceeds the icon.
    for (const int size : {16, 22, 24, 32})
        for (const char* title : {"34%", "100%", "86k", "1.2M", "\u2026", "\u2013"}) {
            const auto c = TrayPicture::choose(QString::fromUtf8(title), size, 1);
            EXPECT_LE(c.capHeight, size) << title;
            if (c.layout != L::gaugeOnly) {
                EXPECT_GE(c.capHeight, TrayPicture::kLegibleCap) << size << " " << title;
            }
        }
}

TEST_P(TrayPictureTest, ReadsOnLightAndDarkPanels) {
    const qreal dpr = screenRatio();
    const QStringList titles = {QStringLiteral("34%"), QStringLiteral("84%"), QStringLiteral("92%"),
                                QStringLiteral("100%"), QStringLiteral("86k")};
    const int sizes[] = {16, 22, 24};
    const int cell = static_cast<int>(std::ceil(24 * dpr)) + 8;
    QImage sheet(cell * static_cast<int>(titles.size()) * 2, cell * 3, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter paint(&sheet);
    for (int row = 0; row < 3; ++row) {
        const int size = sizes[row];
        for (const QColor& panel : {kLightPanel, kDarkPanel}) {
            const bool darkPanel = panel == kDarkPanel;
            SCOPED_TRACE(QStringLiteral("%1 px on the %2 panel")
                             .arg(size)
                             .arg(darkPanel ? "dark" : "light")
                             .toStdString());
            std::vector<std::vector<bool>> seen;
            for (qsizetype i = 0; i < titles.size(); ++i) {
                const Level level =
                    titles[i] == QStringLiteral("92%") || titles[i] == QStringLiteral("100%")
                        ? Level::alert
                        : Level::info;
                const auto ink = TrayPicture::ink(std::nullopt, darkGuess(), level);
                const QImage icon = TrayPicture::render(titles[i], size, dpr, ink);
                const QImage composite = onPanel(icon, panel);
                const auto out = standsOut(composite, panel);
                // The shape stands out from the panel, right guess or wrong: by its ink, or by
                // its outline where the ink is the panel's own shade.
                const QImage shape = TrayPicture::render(titles[i], size, dpr, {ink.fill, {}});
                EXPECT_GE(count(out), covered(shape)) << titles[i].toStdString();
                seen.push_back(out);
                paint.fillRect(QRect(cell * static_cast<int>(i + (darkPanel ? titles.size() : 0)),
                                     cell * row, cell, cell),
                               panel);
                paint.drawImage(
                    QPoint(cell * static_cast<int>(i + (darkPanel ? titles.size() : 0)) + 4,
                           cell * row + 4),
                    composite);
            }
            // Titles that differ look different wherever a title is drawn.
            if (TrayPicture::choose(titles[0], size, dpr).layout !=
                TrayPicture::Layout::gaugeOnly) {
                EXPECT_GT(differing(seen[0], seen[1]), 4) << "34% against 84%";
            }
        }
    }
    paint.end();
    const QString name = QStringLiteral("tray/icons-%1-guess").arg(darkGuess() ? "dark" : "light");
    QDir dir(qEnvironmentVariableIsSet("VELLUMKITE_SHOTS")
                 ? qEnvironmentVariable("VELLUMKITE_SHOTS")
                 : QStringLiteral(VELLUMKITE_DEFAULT_SHOTS));
    dir.mkpath(QStringLiteral("tray"));
    EXPECT_TRUE(sheet.save(dir.filePath(name + QStringLiteral(".png"))));
}

TEST(TrayPictureInk, TheTraysOwnColourWinsAndWarningsAreColoured) {
    // The tray's colours as X11 holds them: sixteen bits a channel, foreground first.
    const std::uint32_t colors[12] = {0xFFFF, 0x8000, 0x0000, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(Desktop::fromTrayColors(colors, 12), QColor(0xFF, 0x80, 0x00));
    EXPECT_EQ(Desktop::fromTrayColors(colors, 2), std::nullopt);
    EXPECT_EQ(Desktop::fromTrayColors(nullptr, 12), std::nullopt);

    const auto own = TrayPicture::ink(QColor(0xAA, 0xBB, 0xCC), false, Level::info);
    EXPECT_EQ(own.fill, QColor(0xAA, 0xBB, 0xCC));
    EXPECT_FALSE(own.outline.isValid());
    const auto alert = TrayPicture::ink(std::nullopt, true, Level::alert);
    EXPECT_GT(alert.fill.red(), alert.fill.green() + 60);
    const auto warn = TrayPicture::ink(std::nullopt, false, Level::warn);
    EXPECT_GT(warn.fill.red(), warn.fill.blue() + 60);
    EXPECT_GT(warn.fill.green(), alert.fill.green());
}

INSTANTIATE_TEST_SUITE_P(Trays, TrayPictureTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "DarkGuess" : "LightGuess"; });
