#include "PopoverFooter.hpp"

#include "Layouts.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QShortcut>
#include <QToolButton>

namespace vellumkite {

namespace {

QToolButton* linkButton(const QString& objectName, const QString& text, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(objectName);
    b->setText(text);
    b->setFont(Theme::caption());
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

PopoverFooter::PopoverFooter(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("footer"));
    auto* r = Layouts::row(this);
    r->addWidget(new TextLine(QStringLiteral("Vellumkite"), Theme::caption(),
                              TextLine::Role::secondary, this));
    r->addStretch(1);
    auto* history = linkButton(QStringLiteral("historyButton"), QStringLiteral("History"), this);
    history->setToolTip(QStringLiteral("The last 30 days, the week and the month (Ctrl+H)"));
    connect(history, &QToolButton::clicked, this, &PopoverFooter::historyClicked);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(shortcut, &QShortcut::activated, history, &QToolButton::click);
    r->addWidget(history);
    auto* quit = linkButton(QStringLiteral("quitButton"), QStringLiteral("Quit"), this);
    connect(quit, &QToolButton::clicked, this, [] { QCoreApplication::quit(); });
    r->addWidget(quit);
}

} // namespace vellumkite
