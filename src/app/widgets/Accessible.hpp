#pragma once

#include <QAccessible>
#include <QString>

class QWidget;

namespace vellumkite {

// A drawn widget that tells assistive technology (a screen reader, through AT-SPI on Linux) what
// it shows: its role, the text a reader says, and a longer description. Widgets that paint their
// own figures inherit it; without it they would be nameless fillers.
class Accessible {
public:
    virtual ~Accessible() = default;
    virtual QAccessible::Role accessibleRole() const = 0;
    virtual QString accessibleText() const = 0;
    virtual QString accessibleDetail() const { return {}; }
    // A whole interface of its own, for widgets with parts (nothing: the one this class makes).
    virtual QAccessibleInterface* accessibleInterface(QWidget*) const { return nullptr; }

    // Tells assistive technology that the text of the widget changed.
    static void announce(QObject* widget);
    // Says a countdown the way it is spoken: "2h 9m" becomes "2 h 9 min".
    static QString spoken(const QString& text);

protected:
    // Installs the interfaces' factory, once per process.
    Accessible();
};

} // namespace vellumkite
