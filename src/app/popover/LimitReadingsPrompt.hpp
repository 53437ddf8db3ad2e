#pragma once

#include "StatusLineSetup.hpp"

#include <QWidget>

class QPushButton;

namespace vellumkite {

class TextLine;

// The limits section while there is no reading: why, and a button that turns the readings on
// the way "vellumkite-cli setup" does, after a dialog that shows the change to the assistant's
// settings. Once the status line is ours it says that the readings arrive with the next reply.
class LimitReadingsPrompt : public QWidget {
    Q_OBJECT

public:
    explicit LimitReadingsPrompt(QWidget* parent = nullptr);

    // Where the settings, the note for undo and our status-line program are; the defaults are
    // the user's (tests point them elsewhere).
    void setFiles(StatusLineSetup::Files files);
    void setProgram(std::filesystem::path program);

    // Reads the settings again and shows the button only while the status line is not ours.
    void refresh();

    static QString offText();
    static QString onText();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void turnOn();
    std::optional<std::filesystem::path> program() const;
    void showOn(bool on);

    StatusLineSetup::Files files_;
    std::optional<std::filesystem::path> program_;
    TextLine* message_;
    QPushButton* button_;
};

} // namespace vellumkite
