#include "BoxSettings.hpp"

#include "MemoryPreferences.hpp"

#include <gtest/gtest.h>
#include <random>

using namespace vellumkite;

namespace {

TEST(BoxSettingsTest, OnlyValuesOfTheStoredTypeCount) {
    struct Case {
        QVariant show, size, corner;
        bool expectedShow;
        BoxSize expectedSize;
        std::optional<QPointF> expectedCorner;
    };
    const Case cases[] = {
        {QVariant(), QVariant(), QVariant(), true, BoxSize::medium, std::nullopt},
        {false, QStringLiteral("small"), QStringLiteral("{3, 4}"), false, BoxSize::small,
         QPointF(3, 4)},
        {QStringLiteral("no"), QStringLiteral("Large"), 5, true, BoxSize::medium, std::nullopt},
        {0, QStringLiteral("large"), QStringLiteral(""), true, BoxSize::large, std::nullopt},
        {true, 2, QVariantList{1, 2}, true, BoxSize::medium, std::nullopt},
    };
    for (const Case& c : cases) {
        MemoryPreferences prefs;
        ASSERT_TRUE(prefs.setValue(QStringLiteral("showFloatingBox"), c.show));
        ASSERT_TRUE(prefs.setValue(QStringLiteral("floatingBoxSize"), c.size));
        ASSERT_TRUE(prefs.setValue(QStringLiteral("floatingBoxTopLeft"), c.corner));
        const BoxSettings s = BoxSettings::load(prefs);
        EXPECT_EQ(s.show, c.expectedShow) << c.show.toString().toStdString();
        EXPECT_EQ(s.size, c.expectedSize) << c.size.toString().toStdString();
        EXPECT_EQ(s.topLeft, c.expectedCorner) << c.corner.toString().toStdString();
    }
}

TEST(BoxSettingsTest, EachSaveWritesItsOneKeyAndReadsBack) {
    MemoryPreferences prefs;
    BoxSettings s;
    s.show = false;
    s.size = BoxSize::large;
    s.topLeft = QPointF(12.5, -3);
    ASSERT_TRUE(s.saveShow(prefs));
    ASSERT_TRUE(s.saveSize(prefs));
    ASSERT_TRUE(s.saveTopLeft(prefs));
    using W = QPair<QString, QVariant>;
    EXPECT_EQ(prefs.writes(), (QList<W>{W("showFloatingBox", false), W("floatingBoxSize", "large"),
                                        W("floatingBoxTopLeft", "{12.5, -3}")}));
    const BoxSettings back = BoxSettings::load(prefs);
    EXPECT_EQ(back.show, s.show);
    EXPECT_EQ(back.size, s.size);
    EXPECT_EQ(back.topLeft, s.topLeft);
}

TEST(BoxSettingsTest, ReadsTheStoredCornerLeniently) {
    EXPECT_EQ(BoxSettings::parsePoint(u"{200, 500}"), QPointF(200, 500));
    EXPECT_EQ(BoxSettings::parsePoint(u"{200.5,-3.25}"), QPointF(200.5, -3.25));
    EXPECT_EQ(BoxSettings::parsePoint(u"  { +7 ,\t8e2 } "), QPointF(7, 800));
    EXPECT_EQ(BoxSettings::parsePoint(u"{-.5, .25}"), QPointF(-0.5, 0.25));
    EXPECT_EQ(BoxSettings::parsePoint(u"x=12 y=34 z=56"), QPointF(12, 34));
    EXPECT_EQ(BoxSettings::parsePoint(u"{12}"), QPointF(12, 0));
    EXPECT_EQ(BoxSettings::parsePoint(u""), QPointF(0, 0));
    EXPECT_EQ(BoxSettings::parsePoint(u"{a, b}"), QPointF(0, 0));
    EXPECT_EQ(BoxSettings::parsePoint(u"{-, .}"), QPointF(0, 0));
    EXPECT_EQ(BoxSettings::parsePoint(u"{nan, inf}"), QPointF(0, 0));
    EXPECT_EQ(BoxSettings::parsePoint(u"{1e999, 5}"), QPointF(0, 5));
    EXPECT_EQ(BoxSettings::parsePoint(u"{0x10, 5}"), QPointF(0, 10));
    EXPECT_EQ(BoxSettings::parsePoint(u"{\u00e9\u4e00 3, 4}"), QPointF(3, 4));
}

TEST(BoxSettingsTest, WritesTheStoredCornerAndReadsItBack) {
    EXPECT_EQ(BoxSettings::pointString({200, 500}), QStringLiteral("{200, 500}"));
    EXPECT_EQ(BoxSettings::pointString({200.5, -3.25}), QStringLiteral("{200.5, -3.25}"));
    EXPECT_EQ(BoxSettings::pointString({-0.0, 0}), QStringLiteral("{0, 0}"));
    EXPECT_EQ(BoxSettings::pointString({qQNaN(), qInf()}), QStringLiteral("{0, 0}"));

    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-1e5, 1e5);
    for (int i = 0; i < 1000; ++i) {
        const QPointF p(coordinate(random), coordinate(random));
        const QPointF back = BoxSettings::parsePoint(BoxSettings::pointString(p));
        ASSERT_EQ(back.x(), p.x());
        ASSERT_EQ(back.y(), p.y());
    }
}

TEST(BoxSizesTest, RawValuesAreExactAndTitlesCapitalised) {
    for (const BoxSize size : BoxSizes::all)
        EXPECT_EQ(BoxSizes::fromRaw(BoxSizes::raw(size)), size);
    EXPECT_EQ(BoxSizes::fromRaw("Large"), std::nullopt);
    EXPECT_EQ(BoxSizes::fromRaw(""), std::nullopt);
    EXPECT_EQ(BoxSizes::title(BoxSize::small), "Small");
    EXPECT_EQ(BoxSizes::title(BoxSize::large), "Large");
}

} // namespace
