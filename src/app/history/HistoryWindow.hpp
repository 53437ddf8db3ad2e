#pragma once

#include "HistoryOverview.hpp"

#include <optional>
#include <QWidget>

class QGridLayout;
class QScrollArea;

namespace vellumkite {

class HistoryChart;
class HistoryLimits;
class SegmentedControl;
class ShareTable;
class TextLine;

// The History window: the last 30 days as a chart, this week against last week with the weekly
// limit's pace, the month's top projects and models, and the limit readings kept. It shows what it
// is given and reads nothing itself. One such window at a time; Escape closes it.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    // Where the history stands, beside the figures.
    struct Status {
        bool available = true;        // false: the history is off (message says why)
        std::optional<double> import; // 0..1 while older logs are still being read
        std::string message;
    };

    explicit HistoryWindow(QWidget* parent = nullptr);

    // Nothing yet: before the first answer from the store thread.
    void setHistory(const std::optional<HistoryOverview>& overview, const Status& status);
    const std::optional<HistoryOverview>& overview() const { return overview_; }
    HistoryChart* chart() const { return chart_; }
    SegmentedControl* measureControl() const { return measure_; }
    // "All machines" or "This machine"; shown only while the history holds other machines.
    SegmentedControl* machinesControl() const { return machines_; }
    // "Reading older logs… 40 %", or empty.
    QString statusText() const;

    // The content's natural size, at least the size the window was drawn for.
    QSize sizeHint() const override;

signals:
    // Shown or hidden; the owner reads the history while the window is open.
    void visibilityChanged(bool visible);
    // The user chose every machine's usage, or this machine's alone.
    void allMachinesChosen(bool all);

protected:
    // Escape closes; showing and hiding are announced.
    bool event(QEvent* event) override;

private:
    std::optional<HistoryOverview> overview_;
    Status status_;
    QScrollArea* scroll_;
    QWidget* content_;
    SegmentedControl* measure_;
    SegmentedControl* machines_;
    HistoryChart* chart_;
    QWidget* figures_;
    QWidget* emptyState_;
    TextLine* statusLine_;
    TextLine* legendMedian_;
    TextLine* weekFigures_;
    TextLine* weekChange_;
    TextLine* unpriced_; // "2 models without a price…", with the command that adds them
    TextLine* paceTitle_;
    TextLine* paceText_;
    TextLine* monthTitle_;
    ShareTable* projects_;
    ShareTable* models_;
    QWidget* limitsPart_;
    HistoryLimits* limits_;
};

} // namespace vellumkite
