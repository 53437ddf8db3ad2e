#pragma once

#include "Accessible.hpp"
#include "Thresholds.hpp"

#include <optional>
#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

namespace vellumkite {

// One piece of text in a view: painted with monospaced digits where numbers change, in a colour
// role taken from the palette at paint time, so light and dark palettes both work. It either
// keeps its full natural width, is cut off with an ellipsis when short of room, or wraps.
class TextLine : public QWidget, public Accessible {
    Q_OBJECT

public:
    enum class Role { primary, secondary, tertiary };
    enum class Fit {
        natural, // never narrower than the text
        elide,   // may shrink; the end is replaced by an ellipsis
        wrap,    // as many lines as the width needs
    };

    explicit TextLine(QWidget* parent = nullptr, Role role = Role::primary);
    TextLine(const QString& text, const QFont& font, Role role = Role::primary,
             QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    void setTextFont(const QFont& font);
    const QFont& textFont() const { return font_; }

    Role role() const { return role_; }
    void setRole(Role role);
    // A level's colour (green, orange, red) instead of the role's, made legible on the palette.
    void setLevel(const std::optional<Level>& level);
    // The colour the text is drawn in with the current palette.
    QColor textColor() const;

    void setMonoDigits(bool mono);
    void setFit(Fit fit);
    Fit fit() const { return fit_; }
    // Right-aligned text keeps its right edge when the widget is wider than the text.
    void setAlignRight(bool right);
    // Where an eliding text is cut: at its end (the default) or in its middle.
    void setElideMode(Qt::TextElideMode mode);

    // The lines as drawn at the current width (one line unless wrapping).
    QStringList displayedLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return fit_ == Fit::wrap; }

    // A screen reader hears the whole text, also where it is drawn cut short.
    QAccessible::Role accessibleRole() const override { return QAccessible::StaticText; }
    QString accessibleText() const override { return text_; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    qreal naturalWidth() const;
    int lineHeight() const;
    void updatePolicy();
    // What the line measures changed: its layout asks again, and it is drawn anew.
    void remeasure();

    QString text_;
    QFont font_;
    Role role_ = Role::primary;
    std::optional<Level> level_;
    bool mono_ = false;
    bool alignRight_ = false;
    Qt::TextElideMode elideMode_ = Qt::ElideRight;
    Fit fit_ = Fit::natural;
};

} // namespace vellumkite
