#pragma once

#include "HistoryOverview.hpp"

#include <QWidget>
#include <vector>

class QGridLayout;

namespace vellumkite {

// One of the month's lists in the History window, projects or models: the name, the share of
// the month's weight and the cost of each, and the share of the rest when there is more. Rows
// keep their height at the top, so that two tables side by side line up row by row.
class ShareTable : public QWidget {
public:
    enum class Kind { projects, models };
    // Below this share of the month, the rest gets no row of its own.
    static constexpr double kLeastRest = 0.005;

    ShareTable(Kind kind, QWidget* parent);

    void setShares(const std::vector<HistoryOverview::Share>& shares);

private:
    Kind kind_;
    QGridLayout* grid_;
};

} // namespace vellumkite
