#pragma once

#include <QWidget>

namespace vellumkite {

// The popover's last row: the program's name, History (also Ctrl+H) and Quit.
class PopoverFooter : public QWidget {
    Q_OBJECT

public:
    explicit PopoverFooter(QWidget* parent);

signals:
    void historyClicked();
};

} // namespace vellumkite
