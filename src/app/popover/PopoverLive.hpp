#pragma once

#include <QWidget>
#include <vector>

namespace vellumkite {

class Sparkline;
class TextLine;

// The popover's "Live": the rate of the last minutes and the half hour's sparkline.
class PopoverLive : public QWidget {
public:
    static constexpr int kSparklineHeight = 32;

    PopoverLive(int spacing, QWidget* parent);

    void sync(double burnPerMin, const std::vector<double>& sparkline);

private:
    TextLine* rate_;
    Sparkline* sparkline_;
};

} // namespace vellumkite
