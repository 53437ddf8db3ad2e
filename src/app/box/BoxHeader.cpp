#include "BoxHeader.hpp"

#include "AppModel.hpp"
#include "BoxStyle.hpp"
#include "Layouts.hpp"
#include "MenuButton.hpp"
#include "Symbols.hpp"
#include "SymbolView.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <QFontInfo>
#include <QHBoxLayout>
#include <QMenu>

namespace vellumkite {

BoxHeader::BoxHeader(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("header"));
    setToolTip(QStringLiteral("Drag to move"));
    auto* r = Layouts::row(this, kSpacing);
    grip_ = new SymbolView(Symbol::lines, 12, TextLine::Role::tertiary, this);
    grip_->setToolTip(QStringLiteral("Drag to move"));
    title_ = new TextLine(this, TextLine::Role::secondary);
    title_->setText(QStringLiteral("Vellumkite"));
    sizeButton_ = new MenuButton(this);
    sizeButton_->setObjectName(QStringLiteral("sizeButton"));
    sizeButton_->setToolTip(QStringLiteral("Box size"));
    sizeButton_->setAutoRaise(true);
    sizeButton_->setPopupMode(QToolButton::InstantPopup);
    sizeButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    sizeButton_->setFocusPolicy(Qt::NoFocus);
    sizeMenu_ = new QMenu(sizeButton_);
    sizeButton_->setMenu(sizeMenu_);
    // The items are made when the menu opens, so the checkmark follows the current size.
    connect(sizeMenu_, &QMenu::aboutToShow, this, [this] {
        sizeMenu_->clear();
        addSizeItems(sizeMenu_, model_);
    });
    addSizeItems(sizeMenu_, model_);
    closeButton_ = new QToolButton(this);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
#ifdef Q_OS_MACOS
    closeButton_->setToolTip(QStringLiteral("Hide (turn back on from the menu bar)"));
#else
    closeButton_->setToolTip(QStringLiteral("Hide (turn back on from the tray icon's menu)"));
#endif
    closeButton_->setAccessibleName(QStringLiteral("Hide box"));
    closeButton_->setAutoRaise(true);
    closeButton_->setFocusPolicy(Qt::NoFocus);
    connect(closeButton_, &QToolButton::clicked, this, [this] { model_.setShowBox(false); });
    r->addWidget(grip_);
    r->addWidget(title_);
    r->addStretch(1);
    r->addWidget(sizeButton_);
    r->addWidget(closeButton_);
}

void BoxHeader::sync(const BoxStyle& s) {
    const QFont small = Theme::systemFont(s.smallPoints);
    grip_->setSymbolSize(QFontInfo(small).pixelSize());
    title_->setTextFont(Theme::systemFont(s.smallPoints, QFont::DemiBold));
    sizeButton_->setFont(small);
    sizeButton_->setText(BoxSizes::title(model_.boxSize()));
    sizeButton_->setAccessibleName(QStringLiteral("Box size: ") +
                                   BoxSizes::title(model_.boxSize()));
    const int closeSide = QFontInfo(small).pixelSize() + 3;
    closeButton_->setIcon(Symbols::icon(Symbol::xmarkCircle, Theme::secondary(palette())));
    closeButton_->setIconSize(QSize(closeSide, closeSide));
}

void BoxHeader::addSizeItems(QMenu* menu, AppModel& model) {
    const BoxSize current = model.boxSize();
    const QIcon check = Symbols::icon(Symbol::checkmark, Theme::primary(menu->palette()));
    for (const BoxSize size : BoxSizes::all) {
        QAction* action = menu->addAction(BoxSizes::title(size));
        if (size == current)
            action->setIcon(check);
        QObject::connect(action, &QAction::triggered, menu,
                         [&model, size] { model.setBoxSize(size); });
    }
}

} // namespace vellumkite
