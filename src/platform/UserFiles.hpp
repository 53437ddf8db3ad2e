#pragma once

#include <filesystem>
#include <QByteArray>
#include <QString>

namespace vellumkite {

// Files that belong to the user alone, for Qt code: folders we create are 0700, files 0600, and a
// file is replaced atomically (see AtomicFile) so that a reader sees either the old or the new
// contents, never a part. A failure is false, with its description in `error` when one is given
// ("cannot create /a/b: Permission denied").
struct UserFiles {
    // The folders of UserFolders, which every part of both programs goes by; empty when no
    // home folder is known.
    static QString home();
    static QString configHome();
    static QString fromPath(const std::filesystem::path& path);

    // Creates the folder and any missing parents, each new one 0700. Existing folders are left as
    // they are.
    [[nodiscard]] static bool makeFolder(const QString& folder, QString* error = nullptr);

    // Writes contents to a new 0600 file beside path, flushes it to disk and renames it over path.
    [[nodiscard]] static bool replaceFile(const QString& path, const QByteArray& contents,
                                          QString* error = nullptr);

    // Removes the file; a file that is already gone is no error.
    [[nodiscard]] static bool removeFile(const QString& path, QString* error = nullptr);
};

} // namespace vellumkite
