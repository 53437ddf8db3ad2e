#pragma once

#include <QWidget>

namespace vellumkite {

class AppModel;
class Dot;
class TextLine;

// The popover's "This chat": the current chat's size with its level and project, and once the
// kept readings tell, its next message in percent of the 5-hour limit; or why there is none.
class PopoverChat : public QWidget {
public:
    PopoverChat(int spacing, QWidget* parent);

    void sync(const AppModel& model);

private:
    QWidget* row_;
    Dot* dot_;
    TextLine* size_;
    TextLine* project_;
    TextLine* share_; // of the 5-hour limit per message, once known
    TextLine* message_;
};

} // namespace vellumkite
