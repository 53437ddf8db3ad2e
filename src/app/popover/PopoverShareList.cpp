#include "PopoverShareList.hpp"

#include "Layouts.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

PopoverShareList::PopoverShareList(const Texts& texts, int rows, int spacing, QWidget* parent)
    : QWidget(parent) {
    auto* l = Layouts::stack(this, spacing);
    l->addWidget(new TextLine(texts.heading, Theme::headline(), TextLine::Role::primary, this));
    empty_ = new TextLine(texts.empty, Theme::callout(), TextLine::Role::secondary, this);
    l->addWidget(empty_);
    for (int i = 0; i < rows; ++i)
        lines_.append(addLine(texts.rowObjectName, texts.namesInFull));
    rest_ = addLine(texts.rowObjectName + QStringLiteral("Rest"), true);
    rest_.name->setRole(TextLine::Role::secondary);
    rest_.share->setRole(TextLine::Role::secondary);
    if (!texts.note.isEmpty()) {
        note_ = new TextLine(texts.note, Theme::caption(), TextLine::Role::secondary, this);
        note_->setObjectName(texts.noteObjectName);
        note_->setFit(TextLine::Fit::wrap);
        l->addWidget(note_);
    }
}

PopoverShareList::Line PopoverShareList::addLine(const QString& objectName, bool nameInFull) {
    auto* l = static_cast<QVBoxLayout*>(layout());
    Line line{};
    line.row = new QWidget(this);
    line.row->setObjectName(objectName);
    auto* r = Layouts::row(line.row);
    line.share = new TextLine({}, Theme::callout(), TextLine::Role::primary, line.row);
    line.share->setMonoDigits(true);
    line.share->setAlignRight(true);
    // The names line up after the widest share there can be.
    line.share->setFixedWidth(Theme::columnWidth(line.share->textFont(), QStringLiteral("100%")));
    line.name = new TextLine({}, Theme::callout(), TextLine::Role::primary, line.row);
    if (!nameInFull)
        line.name->setFit(TextLine::Fit::elide);
    line.detail = new TextLine({}, Theme::callout(), TextLine::Role::secondary, line.row);
    line.detail->setMonoDigits(true);
    r->addWidget(line.share);
    r->addWidget(line.name);
    r->addStretch(1);
    r->addWidget(line.detail);
    l->addWidget(line.row);
    return line;
}

void PopoverShareList::sync(const QList<Row>& rows, const std::optional<Row>& rest) {
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        const bool shown = i < rows.size();
        if (shown) {
            line.share->setText(rows[i].share);
            line.name->setText(rows[i].name);
            line.detail->setText(rows[i].detail);
        }
        line.row->setVisible(shown);
    }
    if (rest) {
        rest_.share->setText(rest->share);
        rest_.name->setText(rest->name);
        rest_.detail->setText(rest->detail);
    }
    rest_.row->setVisible(rest.has_value() && !rows.isEmpty());
    empty_->setVisible(rows.isEmpty());
    if (note_)
        note_->setVisible(!rows.isEmpty());
}

} // namespace vellumkite
