#include "Accessible.hpp"

#include <QAccessibleWidget>
#include <QRegularExpression>
#include <QWidget>

namespace vellumkite {

namespace {

class Interface : public QAccessibleWidget {
public:
    Interface(QWidget* widget, const Accessible* source)
        : QAccessibleWidget(widget, source->accessibleRole()), source_(source) {}

    QAccessible::Role role() const override { return source_->accessibleRole(); }

    QString text(QAccessible::Text t) const override {
        // A name given by hand wins, as for Qt's own widgets.
        if (t == QAccessible::Name)
            return widget()->accessibleName().isEmpty() ? source_->accessibleText()
                                                        : widget()->accessibleName();
        if (t == QAccessible::Description)
            return source_->accessibleDetail();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        // A text that says nothing shows nothing, to the ear as to the eye.
        if (source_->accessibleRole() == QAccessible::StaticText &&
            source_->accessibleText().isEmpty())
            s.invisible = true;
        return s;
    }

private:
    const Accessible* source_;
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
