#include "Layouts.hpp"

#include <QBoxLayout>
#include <QLayout>
#include <QWidget>

namespace vellumkite {

namespace {

// A layout and the layouts nested in it, the inner first.
void invalidateAll(QLayout* layout) {
    for (int i = 0; i < layout->count(); ++i)
        if (QLayout* inner = layout->itemAt(i)->layout())
            invalidateAll(inner);
    layout->invalidate();
}

} // namespace

void Layouts::refresh(QWidget* root) {
    const QList<QWidget*> all = root->findChildren<QWidget*>();
    // Children come after their parents in the list, so going backwards does the inner first.
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (QLayout* layout = (*it)->layout())
            invalidateAll(layout);
        (*it)->updateGeometry();
    }
    if (QLayout* layout = root->layout()) {
        invalidateAll(layout);
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
