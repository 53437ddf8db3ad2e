#pragma once

#include <QString>

class QToolButton;
class QWidget;

namespace vellumkite {

// A flat button of caption text, as the popover's footer and settings offer their actions.
struct LinkButton {
    static QToolButton* make(const QString& objectName, const QString& text, QWidget* parent);
};

} // namespace vellumkite
