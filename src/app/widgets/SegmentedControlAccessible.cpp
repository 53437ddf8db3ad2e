// The segmented control as assistive technology sees it: a group of radio buttons, one per
// option, the selected one checked, each pressed by its action.
#include "SegmentedControl.hpp"

#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QHash>

namespace vellumkite {

namespace {

class Segment : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    Segment(SegmentedControl* control, int index) : control_(control), index_(index) {}

    bool isValid() const override { return control_ && index_ < control_->options().size(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent()->window(); }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(control_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? control_->options().at(index_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect local = control_->segmentRect(index_).toAlignedRect();
        return QRect(control_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.checkable = true;
        s.checked = isValid() && control_->currentIndex() == index_;
        s.disabled = !control_->isEnabled();
        s.invisible = !control_->isVisible();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid())
            control_->activate(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    SegmentedControl* control_;
    int index_;
};

class Group : public QAccessibleWidget {
public:
    explicit Group(SegmentedControl* control)
        : QAccessibleWidget(control, QAccessible::Grouping), control_(control) {}
    ~Group() override {
        for (const QAccessible::Id id : std::as_const(ids_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return static_cast<int>(control_->options().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (!ids_.contains(index))
            ids_.insert(index,
                        QAccessible::registerAccessibleInterface(new Segment(control_, index)));
        return QAccessible::accessibleInterface(ids_.value(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child)
                return i;
        return -1;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value && control_->currentIndex() >= 0)
            return control_->options().at(control_->currentIndex());
        return QAccessibleWidget::text(t);
    }

private:
    SegmentedControl* control_;
    mutable QHash<int, QAccessible::Id> ids_;
};

} // namespace

QAccessibleInterface* SegmentedControl::accessibleInterface(QWidget*) const {
    return new Group(const_cast<SegmentedControl*>(this));
}

} // namespace vellumkite
