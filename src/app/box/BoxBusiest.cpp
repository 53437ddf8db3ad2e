#include "BoxBusiest.hpp"

#include "BoxStyle.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

BoxBusiest::BoxBusiest(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("busiest"));
    auto* l = Layouts::stack(this, kGap);
    title_ = new TextLine(this, TextLine::Role::secondary);
    title_->setText(QStringLiteral("Busiest chats today"));
    l->addWidget(title_);
    for (int i = 0; i < kChats; ++i) {
        Row b{};
        b.row = new QWidget(this);
        b.row->setObjectName(QStringLiteral("busyRow"));
        auto* r = Layouts::row(b.row);
        b.share = new TextLine(b.row);
        b.share->setMonoDigits(true);
        b.share->setAlignRight(true);
        b.name = new TextLine(b.row);
        b.name->setFit(TextLine::Fit::elide);
        b.ago = new TextLine(b.row, TextLine::Role::secondary);
        r->addWidget(b.share);
        r->addWidget(b.name);
        r->addStretch(1);
        r->addWidget(b.ago);
        l->addWidget(b.row);
        rows_.append(b);
    }
}

void BoxBusiest::sync(const std::vector<ChatSummary>& chats, double todayWeight, Instant now,
                      const BoxStyle& s) {
    setVisible(s.busiest && !chats.empty());
    const QFont small = Theme::systemFont(s.smallPoints);
    title_->setTextFont(small);
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        const Row& b = rows_[i];
        const bool shown = static_cast<std::size_t>(i) < chats.size();
        b.row->setVisible(shown);
        for (TextLine* t : {b.share, b.name, b.ago})
            t->setTextFont(small);
        // The names line up after the widest share there can be.
        b.share->setFixedWidth(Theme::columnWidth(small, QStringLiteral("100%")));
        if (!shown)
            continue;
        const ChatSummary& c = chats[static_cast<std::size_t>(i)];
        b.share->setText(QString::fromStdString(Format::share(c.weight, todayWeight)));
        b.name->setText(QString::fromStdString(Format::lastPathComponent(c.project)));
        b.ago->setText(QString::fromStdString(Format::ago(c.lastTime, now)));
    }
}

} // namespace vellumkite
