#pragma once

#include "ChatSummary.hpp"

#include <QList>
#include <QWidget>
#include <vector>

namespace vellumkite {

class TextLine;
struct BoxStyle;

// The large box's busiest chats of the day: share, project and age of the first three.
class BoxBusiest : public QWidget {
public:
    // Between the title and the rows.
    static constexpr int kGap = 4;
    static constexpr int kChats = 3;

    explicit BoxBusiest(QWidget* parent);

    // Hidden when the style has no room for it or there are no chats.
    void sync(const std::vector<ChatSummary>& chats, double todayWeight, Instant now,
              const BoxStyle& style);

private:
    struct Row {
        QWidget* row;
        TextLine* share;
        TextLine* name;
        TextLine* ago;
    };

    TextLine* title_;
    QList<Row> rows_;
};

} // namespace vellumkite
