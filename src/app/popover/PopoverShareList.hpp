#pragma once

#include <optional>
#include <QList>
#include <QString>
#include <QWidget>

namespace vellumkite {

class TextLine;

// One of the popover's top lists (the busiest chats, the tool eaters): a heading, rows of a
// share, a name and a detail, a line for when there are none and, under the rows, a note.
class PopoverShareList : public QWidget {
public:
    struct Row {
        QString share, name, detail;
    };
    struct Texts {
        QString heading{};
        QString empty{};
        QString note{};           // none: no note
        bool namesInFull = false; // short names that never give way; else they are elided
        // For tests and tools.
        QString rowObjectName{};
        QString noteObjectName{};
    };

    PopoverShareList(const Texts& texts, int rows, int spacing, QWidget* parent);

    // The first rows are shown, the others hidden; then, when there is one, the row of what the
    // list leaves out.
    void sync(const QList<Row>& rows, const std::optional<Row>& rest = std::nullopt);

private:
    struct Line {
        QWidget* row;
        TextLine* share;
        TextLine* name;
        TextLine* detail;
    };

    Line addLine(const QString& objectName, bool nameInFull);

    QList<Line> lines_;
    Line rest_;
    TextLine* empty_;
    TextLine* note_ = nullptr;
};

} // namespace vellumkite
