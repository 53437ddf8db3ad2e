#include "PopoverSettings.hpp"

#include "AppModel.hpp"
#include "Layouts.hpp"
#include "PopoverSync.hpp"
#include "SegmentedControl.hpp"

#include <algorithm>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

PopoverSettings::PopoverSettings(AppModel& model, int spacing, QWidget* parent)
    : QWidget(parent), model_(model) {
    auto* l = Layouts::stack(this, spacing);
    auto* boxRow = new QWidget(this);
    boxRow->setObjectName(QStringLiteral("boxRow"));
    auto* r = Layouts::row(boxRow);
    showBox_ = new QCheckBox(QStringLiteral("Floating box"), boxRow);
    showBox_->setObjectName(QStringLiteral("showBoxToggle"));
    QStringList sizes;
    for (const BoxSize size : BoxSizes::all)
        sizes << BoxSizes::title(size);
    sizePicker_ = new SegmentedControl(sizes, boxRow);
    sizePicker_->setObjectName(QStringLiteral("sizePicker"));
    sizePicker_->setAccessibleName(QStringLiteral("Size"));
    r->addWidget(showBox_);
    r->addStretch(1);
    r->addWidget(sizePicker_);
    connect(showBox_, &QCheckBox::toggled, this, [this](bool on) { model_.setShowBox(on); });
    connect(sizePicker_, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(BoxSizes::all.size()))
            model_.setBoxSize(BoxSizes::all[static_cast<std::size_t>(index)]);
    });
    l->addWidget(boxRow);
    login_ = new QCheckBox(QStringLiteral("Open at login"), this);
    login_->setObjectName(QStringLiteral("loginToggle"));
    connect(login_, &QCheckBox::toggled, this, [this](bool on) { model_.setLaunchAtLogin(on); });
    l->addWidget(login_);
    sync_ = new PopoverSync(model_, spacing, this);
    l->addWidget(sync_);
}

void PopoverSettings::sync() {
    const QSignalBlocker a(showBox_), b(sizePicker_), c(login_);
    const bool show = model_.showBox();
    showBox_->setChecked(show);
    const auto it = std::find(BoxSizes::all.begin(), BoxSizes::all.end(), model_.boxSize());
    sizePicker_->setCurrentIndex(static_cast<int>(it - BoxSizes::all.begin()));
    sizePicker_->setEnabled(show);
    login_->setChecked(model_.launchAtLogin());
    sync_->sync();
}

} // namespace vellumkite
