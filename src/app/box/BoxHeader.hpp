#pragma once

#include <QWidget>

class QMenu;
class QToolButton;

namespace vellumkite {

class AppModel;
class SymbolView;
class TextLine;
struct BoxStyle;

// The floating box's header: a grip, the title, the size menu and the close button. Its empty
// parts drag the window like the rest of the box.
class BoxHeader : public QWidget {
public:
    static constexpr int kSpacing = 6;

    BoxHeader(AppModel& model, QWidget* parent);

    void sync(const BoxStyle& style);

    QToolButton* sizeButton() const { return sizeButton_; }
    QToolButton* closeButton() const { return closeButton_; }

    // One item per size, the current one checked, each setting the model's size.
    static void addSizeItems(QMenu* menu, AppModel& model);

private:
    AppModel& model_;
    SymbolView* grip_;
    TextLine* title_;
    QToolButton* sizeButton_;
    QMenu* sizeMenu_;
    QToolButton* closeButton_;
};

} // namespace vellumkite
