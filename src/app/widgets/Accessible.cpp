#include "Accessible.hpp"

#include <QAccessibleWidget>
#include <QRegularExpression>
#include <QWidget>

namespace vellumkite {

namespace {

// Asks the widget each time: while the widget is being destroyed it is a plain QWidget again,
// and the interface answers as one.
class Interface : public QAccessibleWidget {
public:
    Interface(QWidget* widget, const Accessible* source)
        : QAccessibleWidget(widget, source->accessibleRole()) {}

    QString text(QAccessible::Text t) const override {
        const Accessible* s = source();
        // A name given by hand wins, as for Qt's own widgets.
        if (s && t == QAccessible::Name)
            return widget()->accessibleName().isEmpty() ? s->accessibleText()
                                                        : widget()->accessibleName();
        if (s && t == QAccessible::Description)
            return s->accessibleDetail();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        st.readOnly = true;
        // A text that says nothing shows nothing, to the ear as to the eye.
        if (const Accessible* s = source();
            s && role() == QAccessible::StaticText && s->accessibleText().isEmpty())
            st.invisible = true;
        return st;
    }

private:
    const Accessible* source() const {
        return object() ? dynamic_cast<const Accessible*>(widget()) : nullptr;
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (auto* source = dynamic_cast<const Accessible*>(widget)) {
        if (QAccessibleInterface* own = source->accessibleInterface(widget))
            return own;
        return new Interface(widget, source);
    }
    return nullptr;
}

} // namespace

Accessible::Accessible() {
    static const bool installed = [] {
        QAccessible::installFactory(&factory);
        return true;
    }();
    (void)installed;
}

void Accessible::announce(QObject* widget) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

QString Accessible::spoken(const QString& text) {
    static const QRegularExpression unit(QStringLiteral("\\b(\\d+)([dhm])\\b"));
    QString out;
    qsizetype at = 0;
    for (auto it = unit.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += text.mid(at, m.capturedStart() - at) + m.captured(1) + QLatin1Char(' ') +
               (m.captured(2) == QLatin1String("m") ? QStringLiteral("min") : m.captured(2));
        at = m.capturedEnd();
    }
    out += text.mid(at);
    // "34%" is said "34 percent" by readers only with the space before the sign.
    static const QRegularExpression percent(QStringLiteral("(\\d)%"));
    out.replace(percent, QStringLiteral("\\1 %"));
    return out;
}

} // namespace vellumkite
