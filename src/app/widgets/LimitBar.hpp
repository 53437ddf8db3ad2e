#pragma once

#include "Accessible.hpp"
#include "Limits.hpp"
#include "Time.hpp"

#include <QString>
#include <QWidget>

namespace vellumkite {

// A labelled gauge for one limit window: the title and "35% · resets in 2h 5m" above a bar.
class LimitBar : public QWidget, public Accessible {
    Q_OBJECT

public:
    // The text at the right of the title row, with the countdown taken at now.
    static QString detailText(const Limits::Window& window, Instant now);

    LimitBar(QString title, Limits::Window window, Clock clock = systemClock(),
             QWidget* parent = nullptr);

    const QString& title() const { return title_; }
    void setTitle(const QString& title);
    const Limits::Window& window() const { return window_; }
    void setWindow(const Limits::Window& window);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Whether the title and the detail show in full at the current width.
    bool fits() const;

    // "5-hour limit, 34 % used, resets in 2 h 9 min".
    QAccessible::Role accessibleRole() const override { return QAccessible::ProgressBar; }
    QString accessibleText() const override;
    static QString spokenText(const QString& title, const Limits::Window& window, Instant now);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int rowHeight() const;

    QString title_;
    Limits::Window window_;
    Clock clock_;
};

} // namespace vellumkite
