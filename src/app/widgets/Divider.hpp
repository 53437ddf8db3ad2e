#pragma once

#include <QWidget>

namespace vellumkite {

// A thin horizontal line between sections, faint in either palette.
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {40, 1}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vellumkite
