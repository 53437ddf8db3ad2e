// The segmented control as assistive technology sees it: a group of radio buttons, one per
// option, the selected one checked, each pressed by its action.
#include "SegmentedControl.hpp"

#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace vellumkite {

namespace {

// The control as long as it is one: while it is being destroyed it no longer is.
SegmentedControl* alive(const QPointer<QObject>& object) {
    return qobject_cast<SegmentedControl*>(object.data());
}

class Segment : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    Segment(SegmentedControl* control, int index) : object_(control), index_(index) {}

    bool isValid() const override {
        const SegmentedControl* c = alive(object_);
        return c && index_ < c->options().size();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        QAccessibleInterface* p = parent();
        return p ? p->window() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return object_ ? QAccessible::queryAccessibleInterface(object_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? alive(object_)->options().at(index_)
                                                   : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const SegmentedControl* c = alive(object_);
        const QRect local = c->segmentRect(index_).toAlignedRect();
        return QRect(c->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.checkable = true;
        const SegmentedControl* c = isValid() ? alive(object_) : nullptr;
        s.checked = c && c->currentIndex() == index_;
        s.disabled = !c || !c->isEnabled();
        s.invisible = !c || !c->isVisible();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid())
            alive(object_)->activate(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QObject> object_;
    int index_;
};

class Group : public QAccessibleWidget {
public:
    explicit Group(SegmentedControl* control) : QAccessibleWidget(control, QAccessible::Grouping) {}
    ~Group() override {
        for (const QAccessible::Id id : std::as_const(ids_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override {
        const SegmentedControl* c = alive(object());
        return c ? static_cast<int>(c->options().size()) : 0;
    }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (!ids_.contains(index))
            ids_.insert(index, QAccessible::registerAccessibleInterface(
                                   new Segment(alive(object()), index)));
        return QAccessible::accessibleInterface(ids_.value(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child)
                return i;
        return -1;
    }
    QString text(QAccessible::Text t) const override {
        const SegmentedControl* c = alive(object());
        if (c && t == QAccessible::Value && c->currentIndex() >= 0)
            return c->options().at(c->currentIndex());
        if (c && t == QAccessible::Name)
            return c->accessibleName();
        return QAccessibleWidget::text(t);
    }

private:
    mutable QHash<int, QAccessible::Id> ids_;
};

} // namespace

QAccessibleInterface* SegmentedControl::accessibleInterface(QWidget*) const {
    return new Group(const_cast<SegmentedControl*>(this));
}

} // namespace vellumkite
