#include "ShareTable.hpp"

#include "Format.hpp"
#include "ModelName.hpp"
#include "QtText.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QGridLayout>

namespace vellumkite {

namespace {

TextLine* cell(const QString& text, const QFont& font, TextLine::Role role, QWidget* parent,
               bool digits = false) {
    auto* t = new TextLine(text, font, role, parent);
    t->setMonoDigits(digits);
    return t;
}

} // namespace

ShareTable::ShareTable(Kind kind, QWidget* parent)
    : QWidget(parent), kind_(kind), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(10);
    grid_->setVerticalSpacing(3);
    grid_->setColumnStretch(0, 1);
}

void ShareTable::setShares(const std::vector<HistoryOverview::Share>& shares) {
    while (QLayoutItem* item = grid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (int r = 0; r < grid_->rowCount(); ++r)
        grid_->setRowStretch(r, 0);
    const bool projects = kind_ == Kind::projects;
    const auto caption = [&](const QString& text) {
        return cell(text, Theme::caption(), TextLine::Role::secondary, this);
    };
    grid_->addWidget(caption(projects ? QStringLiteral("Projects") : QStringLiteral("Models")), 0,
                     0);
    grid_->addWidget(caption(QStringLiteral("Share")), 0, 1, Qt::AlignRight);
    grid_->addWidget(caption(QStringLiteral("Cost")), 0, 2, Qt::AlignRight);
    int r = 1;
    double listed = 0;
    for (const auto& s : shares) {
        listed += s.share;
        const QString shown =
            projects ? qs(Format::lastPathComponent(s.name)) : ModelName::display(s.name);
        auto* name = cell(shown, Theme::callout(), TextLine::Role::primary, this);
        // A family and version is short and never cut; a name or id of any length keeps its
        // start and its end, where versions differ.
        if (projects || shown == qs(s.name)) {
            name->setFit(TextLine::Fit::elide);
            name->setElideMode(Qt::ElideMiddle);
        }
        name->setToolTip(qs(s.name));
        grid_->addWidget(name, r, 0);
        grid_->addWidget(cell(qs(Format::percent(s.share * 100)), Theme::callout(),
                              TextLine::Role::secondary, this, true),
                         r, 1, Qt::AlignRight);
        grid_->addWidget(cell(qs(Format::dollars(s.cost)), Theme::callout(),
                              TextLine::Role::secondary, this, true),
                         r, 2, Qt::AlignRight);
        ++r;
    }
    // The rest of the month, so that the shares add up.
    if (const double rest = 1 - listed; !shares.empty() && rest >= kLeastRest) {
        grid_->addWidget(
            cell(projects ? QStringLiteral("Other projects") : QStringLiteral("Other models"),
                 Theme::callout(), TextLine::Role::secondary, this),
            r, 0);
        grid_->addWidget(cell(qs(Format::percent(rest * 100)), Theme::callout(),
                              TextLine::Role::secondary, this, true),
                         r, 1, Qt::AlignRight);
        ++r;
    }
    grid_->setRowStretch(r, 1);
    // Shown with the window (they are made while it may be hidden), so that the window's size
    // counts them before it first shows.
    for (int i = 0; i < grid_->count(); ++i)
        if (QWidget* w = grid_->itemAt(i)->widget())
            w->show();
}

} // namespace vellumkite
