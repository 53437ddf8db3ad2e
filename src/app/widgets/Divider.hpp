#pragma once

#include "Accessible.hpp"

#include <QWidget>

namespace vellumkite {

// A thin horizontal line between sections, faint in either palette.
class Divider : public QWidget, public Accessible {
    Q_OBJECT

public:
    explicit Divider(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {40, 1}; }

    QAccessible::Role accessibleRole() const override { return QAccessible::Separator; }
    QString accessibleText() const override { return {}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vellumkite
