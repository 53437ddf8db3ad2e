#pragma once

#include <QWidget>

class QCheckBox;

namespace vellumkite {

class AppModel;
class PopoverSync;
class SegmentedControl;

// The popover's settings: the floating box and its size, opening at login, and sync. The
// controls write the model; what they show always comes back from it.
class PopoverSettings : public QWidget {
public:
    PopoverSettings(AppModel& model, int spacing, QWidget* parent);

    void sync();
    PopoverSync* syncSetting() const { return sync_; }

private:
    AppModel& model_;
    QCheckBox* showBox_;
    SegmentedControl* sizePicker_;
    QCheckBox* login_;
    PopoverSync* sync_;
};

} // namespace vellumkite
