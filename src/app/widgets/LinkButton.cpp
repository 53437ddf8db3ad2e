#include "LinkButton.hpp"

#include "Theme.hpp"

#include <QToolButton>

namespace vellumkite {

QToolButton* LinkButton::make(const QString& objectName, const QString& text, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(objectName);
    b->setText(text);
    b->setFont(Theme::caption());
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace vellumkite
