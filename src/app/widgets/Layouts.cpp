#include "Layouts.hpp"

#include <QBoxLayout>
#include <QWidget>

namespace vellumkite {

void Layouts::refresh(QWidget* root) {
    const QList<QWidget*> all = root->findChildren<QWidget*>();
    // Children come after their parents in the list, so going backwards does the inner first.
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (QLayout* layout = (*it)->layout())
            layout->invalidate();
        (*it)->updateGeometry();
    }
    if (QLayout* layout = root->layout()) {
        layout->invalidate();
        layout->activate();
    }
}

QHBoxLayout* Layouts::row(QWidget* parent, int spacing) {
    auto* layout = new QHBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout* Layouts::stack(QWidget* parent, int spacing) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace vellumkite
