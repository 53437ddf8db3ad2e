#pragma once

#include <optional>
#include <QByteArray>
#include <QString>

namespace vellumkite {

// Files that belong to the user alone: folders we create are 0700, files 0600, and a file is
// replaced atomically so that a reader sees either the old or the new contents, never a part.
// Errors come back as a description ("cannot create /a/b: Permission denied").
struct UserFiles {
    // $XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
    static QString configHome();

    // Creates the folder and any missing parents, each new one 0700. Existing folders are left as
    // they are.
    static std::optional<QString> makeFolder(const QString& folder);

    // Writes contents to a new 0600 file beside path, flushes it to disk and renames it over path.
    static std::optional<QString> replaceFile(const QString& path, const QByteArray& contents);

    // Removes the file; a file that is already gone is no error.
    static std::optional<QString> removeFile(const QString& path);
};

} // namespace vellumkite
