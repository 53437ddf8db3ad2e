#include "PopoverFooter.hpp"

#include "Layouts.hpp"
#include "LinkButton.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QShortcut>
#include <QToolButton>

namespace vellumkite {

PopoverFooter::PopoverFooter(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("footer"));
    auto* r = Layouts::row(this);
    r->addWidget(new TextLine(QStringLiteral("Vellumkite"), Theme::caption(),
                              TextLine::Role::secondary, this));
    r->addStretch(1);
    auto* history =
        LinkButton::make(QStringLiteral("historyButton"), QStringLiteral("History"), this);
    history->setToolTip(QStringLiteral("The last 30 days, the week and the month (Ctrl+H)"));
    connect(history, &QToolButton::clicked, this, &PopoverFooter::historyClicked);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(shortcut, &QShortcut::activated, history, &QToolButton::click);
    r->addWidget(history);
    auto* quit = LinkButton::make(QStringLiteral("quitButton"), QStringLiteral("Quit"), this);
    connect(quit, &QToolButton::clicked, this, [] { QCoreApplication::quit(); });
    r->addWidget(quit);
}

} // namespace vellumkite
