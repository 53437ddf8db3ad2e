#include "BoxChatRow.hpp"

#include "AppModel.hpp"
#include "BoxStyle.hpp"
#include "Dot.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "TextLine.hpp"
#include "Texts.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>

namespace vellumkite {

BoxChatRow::BoxChatRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chatRow"));
    setToolTip(
        QStringLiteral("How much of this chat Claude re-reads with every message. Smaller is "
                       "cheaper."));
    auto* lines = Layouts::stack(this, kLineGap);
    auto* row = new QWidget(this);
    auto* r = Layouts::row(row, kGap);
    dot_ = new Dot(row);
    size_ = new TextLine(row);
    size_->setMonoDigits(true);
    // The project takes the rest of the row, at least the gap away from the size.
    project_ = new TextLine(row, TextLine::Role::secondary);
    project_->setFit(TextLine::Fit::elide);
    project_->setAlignRight(true);
    project_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    message_ = new TextLine(row, TextLine::Role::secondary);
    r->addWidget(dot_);
    r->addWidget(size_);
    r->addWidget(project_);
    r->addWidget(message_);
    lines->addWidget(row);
    share_ = new TextLine(this, TextLine::Role::secondary);
    share_->setObjectName(QStringLiteral("chatShare"));
    share_->setMonoDigits(true);
    lines->addWidget(share_);
}

void BoxChatRow::sync(const AppModel& model, const BoxStyle& s) {
    const auto& chat = model.currentChat();
    size_->setTextFont(Theme::systemFont(s.bodyPoints));
    project_->setTextFont(Theme::systemFont(s.smallPoints));
    message_->setTextFont(Theme::systemFont(s.bodyPoints));
    if (chat) {
        dot_->setLevel(model.chatLevel(chat->size));
        size_->setText(QStringLiteral("This chat: ") +
                       QString::fromStdString(Format::tokens(chat->size)) +
                       QStringLiteral(" tokens"));
        project_->setText(QString::fromStdString(Format::lastPathComponent(chat->project)));
    } else {
        message_->setText(model.loaded()
                              ? QString::fromUtf8(Texts::kNoChats.data(), Texts::kNoChats.size())
                              : QStringLiteral("Reading your chats\u2026"));
    }
    const auto& share = model.percentPerMessage();
    share_->setTextFont(Theme::systemFont(s.smallPoints));
    if (share)
        share_->setText(QString::fromStdString(Texts::perMessage(*share)));
    dot_->setVisible(chat.has_value());
    size_->setVisible(chat.has_value());
    project_->setVisible(chat.has_value());
    message_->setVisible(!chat);
    // Where the gauges have their detail lines, so does the chat.
    share_->setVisible(chat && share && s.resetLines);
}

} // namespace vellumkite
