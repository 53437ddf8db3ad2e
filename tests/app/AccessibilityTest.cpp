// What a screen reader finds in the popover, the box and the History window: the accessibility
// tree Qt hands to AT-SPI, walked from each window. Every figure has a name, controls have their
// roles and states, and no drawn part is a nameless filler.
#include "DemoHistory.hpp"
#include "FloatingBox.hpp"
#include "HistoryWindow.hpp"
#include "MenuPopover.hpp"
#include "PopoverWindow.hpp"
#include "ViewTestSupport.hpp"

#include <memory>
#include <QAccessible>
#include <QAccessibleActionInterface>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

struct Node {
    QAccessibleInterface* element;
    QAccessible::Role role;
    QString name;
    int children;
};

// Every element that shows, depth first.
void walk(QAccessibleInterface* a, QList<Node>& out) {
    if (!a || !a->isValid() || a->state().invisible)
        return;
    out.append({a, a->role(), a->text(QAccessible::Name), a->childCount()});
    for (int i = 0; i < a->childCount(); ++i)
        walk(a->child(i), out);
}

QList<Node> tree(QWidget& window) {
    QList<Node> out;
    walk(QAccessible::queryAccessibleInterface(&window), out);
    return out;
}

const Node* find(const QList<Node>& nodes, QAccessible::Role role, const QString& name) {
    for (const Node& n : nodes)
        if (n.role == role && n.name == name)
            return &n;
    return nullptr;
}

// Leaves a reader would reach without hearing anything: no name (separators and scroll bars,
// which their role says all about, aside), or the generic role of a plain widget.
QStringList silent(const QList<Node>& nodes) {
    QStringList out;
    for (const Node& n : nodes) {
        if (n.children > 0 || n.role == QAccessible::Separator || n.role == QAccessible::ScrollBar)
            continue;
        if (n.name.trimmed().isEmpty() || n.role == QAccessible::Client)
            out << QStringLiteral("%1 (%2, role %3)")
                       .arg(n.element->object() ? n.element->object()->metaObject()->className()
                                                : "part")
                       .arg(n.element->object() ? n.element->object()->objectName() : QString())
                       .arg(n.role);
    }
    return out;
}

class AccessibilityTest : public ViewTest {};

} // namespace

TEST_F(AccessibilityTest, ThePopoverSaysEveryFigureAndControl) {
    demo();
    PopoverWindow w(*model, PopoverWindow::Kind::panel);
    w.showPanel();
    settle();
    const QList<Node> nodes = tree(w);

    // The gauges as one sentence each, the way the reader should hear them.
    EXPECT_TRUE(find(nodes, QAccessible::ProgressBar,
                     QStringLiteral("5-hour limit, 34 % used, resets in 2 h 10 min")));
    EXPECT_TRUE(find(nodes, QAccessible::ProgressBar,
                     QStringLiteral("Weekly limit, 18 % used, resets in 4 d 3 h")));
    for (const char* text :
         {"This chat", "86k re-read every message", "my-app", "Live", "18k/min \u00B7 last 15 min",
          "41%", "42 msgs \u00B7 now", "Terminal commands", "Other chats"})
        EXPECT_TRUE(find(nodes, QAccessible::StaticText, QString::fromUtf8(text))) << text;
    EXPECT_TRUE(find(nodes, QAccessible::Graphic, QStringLiteral("Size fine"))) << "the dot";
    const Node* tip = find(nodes, QAccessible::StaticText, QStringLiteral("Healthy chat size"));
    ASSERT_TRUE(tip);
    EXPECT_FALSE(tip->element->text(QAccessible::Description).isEmpty());
    const Node* spark =
        find(nodes, QAccessible::Chart, QStringLiteral("Usage per minute, last 30 minutes"));
    ASSERT_TRUE(spark);
    EXPECT_TRUE(spark->element->text(QAccessible::Description).contains(QStringLiteral("busiest")));

    // The size picker is a group of radio buttons; pressing one sets the box's size.
    const Node* size = find(nodes, QAccessible::Grouping, QStringLiteral("Size"));
    ASSERT_TRUE(size);
    ASSERT_EQ(size->children, 3);
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* option = size->element->child(i);
        EXPECT_EQ(option->role(), QAccessible::RadioButton);
        EXPECT_EQ(option->parent()->object(), size->element->object());
        EXPECT_EQ(option->state().checked, option->text(QAccessible::Name) == "Medium");
        names << option->text(QAccessible::Name);
    }
    EXPECT_EQ(names, QStringList({"Small", "Medium", "Large"}));
    size->element->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(model->boxSize(), BoxSize::large);
    settle();
    EXPECT_TRUE(size->element->child(2)->state().checked);

    for (const char* text : {"Floating box", "Open at login"})
        EXPECT_TRUE(find(nodes, QAccessible::CheckBox, QString::fromUtf8(text))) << text;
    for (const char* text : {"History", "Quit"})
        EXPECT_TRUE(find(nodes, QAccessible::Button, QString::fromUtf8(text))) << text;
    EXPECT_EQ(silent(nodes), QStringList());
}

TEST_F(AccessibilityTest, TheBoxNamesItsButtonsAndItsRows) {
    demo();
    model->setBoxSize(BoxSize::large);
    FloatingBox box(*model);
    box.present();
    settle();
    const QList<Node> nodes = tree(box);
    EXPECT_TRUE(find(nodes, QAccessible::Button, QStringLiteral("Hide box")));
    EXPECT_TRUE(find(nodes, QAccessible::ButtonMenu, QStringLiteral("Box size: Large")));
    EXPECT_TRUE(find(nodes, QAccessible::ProgressBar,
                     QStringLiteral("5-hour limit, 34 % used, resets in 2 h 10 min")));
    EXPECT_TRUE(find(nodes, QAccessible::Graphic, QStringLiteral("Drag to move")));
    EXPECT_EQ(silent(nodes), QStringList());
}

TEST_F(AccessibilityTest, TheHistoryChartReadsAsItsDays) {
    HistoryWindow window;
    window.setHistory(DemoHistory::overview(kNow), {});
    window.show();
    settle();
    const QList<Node> nodes = tree(window);
    const Node* chart =
        find(nodes, QAccessible::Chart, QStringLiteral("Weight per day, last 30 days"));
    ASSERT_TRUE(chart);
    const QStringList days = chart->element->text(QAccessible::Description).split(u'\n');
    EXPECT_EQ(days.size(), 30);
    EXPECT_TRUE(days.back().contains(QStringLiteral("weight"))) << days.back().toStdString();
    const Node* measure = find(nodes, QAccessible::Grouping, QStringLiteral("Measure"));
    ASSERT_TRUE(measure);
    EXPECT_TRUE(measure->element->child(0)->state().checked) << "Weight";
    measure->element->child(1)->actionInterface()->doAction(
        QAccessibleActionInterface::pressAction());
    EXPECT_EQ(chart->element->text(QAccessible::Name),
              QStringLiteral("Cost per day, last 30 days"));
    EXPECT_TRUE(find(nodes, QAccessible::Graphic, QStringLiteral("Opus colour")));
    EXPECT_EQ(silent(nodes), QStringList());
}
