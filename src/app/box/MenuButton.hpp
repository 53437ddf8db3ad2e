#pragma once

#include <QToolButton>

namespace vellumkite {

// A borderless menu button: the text and a small downward chevron, tinted on hover.
class MenuButton : public QToolButton {
public:
    using QToolButton::QToolButton;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr qreal kPadding = 5;
    static constexpr qreal kChevronGap = 4;
    qreal chevronWidth() const;
};

} // namespace vellumkite
