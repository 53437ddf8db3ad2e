#include "LimitReadingsPrompt.hpp"

#include "QtText.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace vellumkite {

namespace {

constexpr int kGap = 4;
constexpr int kButtonGap = 8;

} // namespace

LimitReadingsPrompt::LimitReadingsPrompt(QWidget* parent)
    : QWidget(parent), files_(StatusLineSetup::Files::defaults()) {
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(kGap);
    l->addWidget(
        new TextLine(QStringLiteral("Limits"), Theme::headline(), TextLine::Role::primary, this));
    message_ = new TextLine(offText(), Theme::caption(), TextLine::Role::secondary, this);
    message_->setObjectName(QStringLiteral("limitsMessageText"));
    message_->setFit(TextLine::Fit::wrap);
    l->addWidget(message_);
    l->addSpacing(kButtonGap - kGap);
    button_ = new QPushButton(QStringLiteral("Turn on limit readings"), this);
    button_->setObjectName(QStringLiteral("turnOnLimitsButton"));
    button_->setFont(Theme::callout());
    button_->setCursor(Qt::PointingHandCursor);
    l->addWidget(button_, 0, Qt::AlignLeft);
    connect(button_, &QPushButton::clicked, this, &LimitReadingsPrompt::turnOn);
}

QString LimitReadingsPrompt::offText() {
    return QStringLiteral("No limit reading yet. Turn on the Vellumkite status line to see your "
                          "official 5-hour and weekly %.");
}

QString LimitReadingsPrompt::onText() {
    return QStringLiteral("The Vellumkite status line is on. Limit readings arrive with the "
                          "assistant's next reply.");
}

void LimitReadingsPrompt::setFiles(StatusLineSetup::Files files) {
    files_ = std::move(files);
    refresh();
}

void LimitReadingsPrompt::setProgram(std::filesystem::path program) {
    program_ = std::move(program);
}

std::optional<std::filesystem::path> LimitReadingsPrompt::program() const {
    if (program_)
        return program_;
    // Installed, it is beside the app; run from the build tree, in the terminal tool's folder.
    return StatusLineSetup::program(
        {QCoreApplication::applicationDirPath().toStdString() + "/../cli/vellumkite-statusline"});
}

void LimitReadingsPrompt::showOn(bool on) {
    message_->setText(on ? onText() : offText());
    button_->setVisible(!on);
}

void LimitReadingsPrompt::refresh() {
    // Any program will do for the question; only whether the line is already ours matters.
    const auto plan = StatusLineSetup::turnOn(files_, program_.value_or("vellumkite-statusline"));
    showOn(plan.kind == StatusLineSetup::Kind::nothingToDo);
}

void LimitReadingsPrompt::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

void LimitReadingsPrompt::turnOn() {
    // A popup takes every click while it is open, the dialog's too: close it first.
    if (window()->windowType() == Qt::Popup)
        window()->hide();
    const auto found = program();
    if (!found) {
        QMessageBox::warning(nullptr, QStringLiteral("Limit readings"),
                             QStringLiteral("Cannot find vellumkite-statusline beside Vellumkite. "
                                            "Is Vellumkite installed completely?"));
        return;
    }
    const auto plan = StatusLineSetup::turnOn(files_, *found);
    if (plan.kind == StatusLineSetup::Kind::refused) {
        QMessageBox::warning(nullptr, QStringLiteral("Limit readings"), qs(plan.message));
        return;
    }
    if (plan.kind == StatusLineSetup::Kind::change) {
        QMessageBox confirm(QMessageBox::Question, QStringLiteral("Turn on limit readings"),
                            QStringLiteral("The assistant reports your limits only to its status "
                                           "line. Vellumkite will have it run "
                                           "vellumkite-statusline, which saves them and keeps any "
                                           "status line you had."));
        confirm.setInformativeText(qs(plan.describe()) +
                                   QStringLiteral("\nA backup of the file is kept beside it."));
        confirm.addButton(QStringLiteral("Turn On"), QMessageBox::AcceptRole)
            ->setObjectName(QStringLiteral("confirmButton"));
        confirm.setDefaultButton(confirm.addButton(QMessageBox::Cancel));
        confirm.exec();
        if (confirm.buttonRole(confirm.clickedButton()) != QMessageBox::AcceptRole)
            return;
        const auto outcome = StatusLineSetup::apply(plan);
        if (!outcome.ok) {
            QMessageBox::warning(nullptr, QStringLiteral("Limit readings"), qs(outcome.message));
            return;
        }
    }
    showOn(true);
    QMessageBox::information(nullptr, QStringLiteral("Limit readings are on"),
                             QStringLiteral("Limit readings arrive with the assistant's next "
                                            "reply."));
}

} // namespace vellumkite
