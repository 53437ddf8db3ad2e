#pragma once

#include <memory>
#include <QObject>
#include <QString>

class QWindow;

namespace vellumkite {

class AppModel;
class PopoverWindow;

// Demo mode's extra window: on the model's request, the popover's content in a free-standing
// panel near the top left of the screen, and a second later one line per visible window on
// standard output, so that a tool outside the program can find and capture them.
class DemoPanel : public QObject {
    Q_OBJECT

public:
    static constexpr int kReportDelayMs = 1000;

    explicit DemoPanel(AppModel& model, QObject* parent = nullptr);
    ~DemoPanel() override;

    // Opens the panel (once) and schedules the window report.
    void open();
    PopoverWindow* panel() const { return panel_.get(); }

    // "window <id> <width>x<height> popup|box|history", one line per visible window of the
    // program in the order the windows were made; "popup" marks the demo panel.
    static QString windowReport(const QWindow* demoPanel);

signals:
    // After the report has been written.
    void reported();

private:
    AppModel& model_;
    std::unique_ptr<PopoverWindow> panel_;
};

} // namespace vellumkite
