#pragma once

#include <optional>
#include <QString>

namespace vellumkite {

// Whether the application opens when the user logs in. The truth lives with the desktop, not in
// our preferences: on Linux an XDG autostart entry, on macOS a LaunchAgent with RunAtLoad. A change
// made elsewhere (a desktop's settings panel hiding the entry) shows at the next read.
class LoginItem {
public:
    // entryPath: the autostart entry or the agent's property list; executable: the program it
    // starts (an absolute path).
    explicit LoginItem(QString entryPath = defaultEntryPath(),
                       QString executable = currentExecutable());

    // On only when the entry exists and is not switched off (Hidden=true or
    // X-GNOME-Autostart-enabled=false on Linux).
    bool isEnabled() const;

    // Writes or removes the entry. False on failure, with its description in `error`.
    [[nodiscard]] bool setEnabled(bool enabled, QString* error = nullptr);

    // The one log line for a failure: "Vellumkite: launch at login: " + description.
    static QString failureLine(const QString& description);
    static void logFailure(const QString& description);

    // The contents written for an executable, or nothing when its path cannot be expressed.
    static std::optional<QString> entryContents(const QString& executable);

    QString entryPath() const { return entryPath_; }

    // $XDG_CONFIG_HOME/autostart/vellumkite.desktop, or on macOS
    // ~/Library/LaunchAgents/app.vellumkite.Vellumkite.plist.
    static QString defaultEntryPath();
    // The program to start at login: the running executable (the AppImage when run from one).
    static QString currentExecutable();

private:
    QString entryPath_;
    QString executable_;
};

} // namespace vellumkite
