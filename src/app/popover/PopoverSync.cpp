#include "PopoverSync.hpp"

#include "AppModel.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "LinkButton.hpp"
#include "QtText.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace vellumkite {

PopoverSync::PopoverSync(AppModel& model, int spacing, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("syncSetting"));
    chooser_ = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(
            this, QStringLiteral("A folder your machines keep in step"), start);
    };
    auto* l = Layouts::stack(this, spacing / 2);
    auto* row = new QWidget(this);
    auto* r = Layouts::row(row);
    folder_ = new TextLine({}, Theme::callout(), TextLine::Role::primary, row);
    folder_->setObjectName(QStringLiteral("syncFolder"));
    folder_->setFit(TextLine::Fit::elide);
    folder_->setElideMode(Qt::ElideMiddle);
    r->addWidget(folder_, 1);
    choose_ = LinkButton::make(QStringLiteral("syncChoose"), {}, row);
    choose_->setToolTip(QStringLiteral("Share this machine's history with your other machines "
                                       "through a folder that a sync engine keeps in step"));
    off_ = LinkButton::make(QStringLiteral("syncOff"), QStringLiteral("Off"), row);
    off_->setToolTip(QStringLiteral("Stop publishing and taking in"));
    r->addWidget(choose_);
    r->addWidget(off_);
    l->addWidget(row);
    machines_ = new TextLine({}, Theme::caption(), TextLine::Role::secondary, this);
    machines_->setObjectName(QStringLiteral("syncMachines"));
    machines_->setFit(TextLine::Fit::wrap);
    l->addWidget(machines_);
    problem_ = new TextLine({}, Theme::caption(), TextLine::Role::secondary, this);
    problem_->setObjectName(QStringLiteral("syncProblem"));
    problem_->setFit(TextLine::Fit::wrap);
    problem_->setLevel(Level::warn);
    l->addWidget(problem_);
    connect(choose_, &QToolButton::clicked, this, &PopoverSync::choose);
    connect(off_, &QToolButton::clicked, this, [this] {
        refused_.clear();
        model_.stopSync();
    });
}

void PopoverSync::choose() {
    const auto& folder = model_.sync().folder;
    const QString start = folder.empty() ? QDir::homePath() : qs(folder.string());
    const QString chosen = chooser_ ? chooser_(start) : QString();
    if (chosen.isEmpty())
        return;
    refused_ = model_.useSyncFolder(QDir::cleanPath(chosen));
    sync();
}

void PopoverSync::sync() {
    const auto& s = model_.sync();
    const bool on = !s.folder.empty();
    folder_->setText(on ? QStringLiteral("Sync: %1").arg(qs(s.folder.string()))
                        : QStringLiteral("Sync: off"));
    folder_->setToolTip(on ? qs(s.folder.string()) : QString());
    choose_->setText(on ? QStringLiteral("Change\u2026") : QStringLiteral("Choose folder\u2026"));
    off_->setVisible(on);
    QStringList lines;
    const Instant now = model_.now();
    for (const auto& m : s.machines) {
        if (m.forgotten)
            continue;
        QString line = qs(m.name);
        if (m.self)
            line += QStringLiteral(" (this machine)");
        line += m.published
                    ? QStringLiteral(" \u00b7 published %1").arg(qs(Format::ago(*m.published, now)))
                    : QStringLiteral(" \u00b7 not published yet");
        if (!m.self)
            line += QStringLiteral(" \u00b7 %1 replies").arg(qs(Format::grouped(m.replies)));
        if (!m.problem.empty())
            line += QStringLiteral(" \u00b7 its file could not be read");
        lines << line;
    }
    machines_->setText(lines.join(QLatin1Char('\n')));
    machines_->setVisible(on && !lines.isEmpty());
    const QString problem = !refused_.isEmpty() ? refused_ : on ? qs(s.problem) : QString();
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
}

} // namespace vellumkite
