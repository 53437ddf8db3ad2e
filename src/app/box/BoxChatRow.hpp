#pragma once

#include <QWidget>

namespace vellumkite {

class AppModel;
class Dot;
class TextLine;
struct BoxStyle;

// This chat in the floating box: its level's dot, its size and its project, and in the larger
// sizes its next message in percent of the 5-hour limit once that is known; before the first
// pass and without a chat, a line that says so.
class BoxChatRow : public QWidget {
public:
    // Between the dot, the size and the project.
    static constexpr int kGap = 6;
    // Between the row and the line under it, as under a gauge.
    static constexpr int kLineGap = 3;

    explicit BoxChatRow(QWidget* parent);

    void sync(const AppModel& model, const BoxStyle& style);

private:
    Dot* dot_;
    TextLine* size_;
    TextLine* project_;
    TextLine* message_;
    TextLine* share_;
};

} // namespace vellumkite
