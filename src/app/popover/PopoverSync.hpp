#pragma once

#include <functional>
#include <QString>
#include <QWidget>

class QToolButton;

namespace vellumkite {

class AppModel;
class TextLine;

// The popover's sync setting: the folder this machine shares its history through (chosen,
// changed or turned off here), and each machine found there with when it last published.
class PopoverSync : public QWidget {
public:
    PopoverSync(AppModel& model, int spacing, QWidget* parent);

    void sync();

    // Asks for a folder, starting at the one given; empty when none was chosen. A file dialog
    // unless replaced (tests).
    using Chooser = std::function<QString(const QString& start)>;
    void setChooser(Chooser chooser) { chooser_ = std::move(chooser); }

private:
    void choose();

    AppModel& model_;
    Chooser chooser_;
    TextLine* folder_;
    QToolButton* choose_;
    QToolButton* off_;
    TextLine* machines_;
    TextLine* problem_;
    QString refused_; // why the folder last chosen could not be used
};

} // namespace vellumkite
