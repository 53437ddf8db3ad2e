#include "PopoverChat.hpp"

#include "AppModel.hpp"
#include "Dot.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "QtText.hpp"
#include "TextLine.hpp"
#include "Texts.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

PopoverChat::PopoverChat(int spacing, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chatSection"));
    auto* l = Layouts::stack(this, spacing);
    l->addWidget(
        new TextLine(qs(Texts::kThisChat), Theme::headline(), TextLine::Role::primary, this));
    row_ = new QWidget(this);
    row_->setObjectName(QStringLiteral("chatRow"));
    auto* r = Layouts::row(row_);
    dot_ = new Dot(row_);
    size_ = new TextLine({}, Theme::callout(), TextLine::Role::primary, row_);
    size_->setMonoDigits(true);
    project_ = new TextLine({}, Theme::callout(), TextLine::Role::secondary, row_);
    project_->setFit(TextLine::Fit::elide);
    project_->setAlignRight(true);
    r->addWidget(dot_);
    r->addWidget(size_);
    r->addStretch(1);
    r->addWidget(project_);
    l->addWidget(row_);
    share_ = new TextLine({}, Theme::caption(), TextLine::Role::secondary, this);
    share_->setObjectName(QStringLiteral("chatShare"));
    share_->setMonoDigits(true);
    share_->setFit(TextLine::Fit::wrap);
    l->addWidget(share_);
    message_ = new TextLine({}, Theme::callout(), TextLine::Role::secondary, this);
    l->addWidget(message_);
}

void PopoverChat::sync(const AppModel& model) {
    const auto& chat = model.currentChat();
    if (chat) {
        dot_->setLevel(model.chatLevel(chat->size));
        size_->setText(qs(Texts::chatSize(chat->size)));
        project_->setText(qs(Format::lastPathComponent(chat->project)));
    } else {
        message_->setText(model.loaded() ? qs(Texts::kNoChats)
                                         : QStringLiteral("Reading your chats\u2026"));
    }
    const auto& share = model.percentPerMessage();
    if (share)
        share_->setText(qs(Texts::perMessage(*share)));
    row_->setVisible(chat.has_value());
    share_->setVisible(chat && share);
    message_->setVisible(!chat);
}

} // namespace vellumkite
