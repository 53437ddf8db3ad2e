#pragma once

#include <QWidget>
#include <vector>

namespace vellumkite {

class Sparkline;
class TextLine;
struct BoxStyle;

// The floating box's live block: the rate over the last 15 minutes and the half-hour sparkline.
class BoxLiveBlock : public QWidget {
public:
    // Between the rate's line and the sparkline.
    static constexpr int kGap = 4;

    explicit BoxLiveBlock(QWidget* parent);

    void sync(double burnPerMin, const std::vector<double>& sparkline, const BoxStyle& style);

private:
    TextLine* label_;
    TextLine* rate_;
    Sparkline* sparkline_;
};

} // namespace vellumkite
