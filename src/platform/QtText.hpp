#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace vellumkite {

// Texts and bytes between the core's standard strings and Qt's. Not Qt's own toStdString and
// fromStdString: some are compiled into Qt against its standard library, which a build on
// another one (libc++ on Linux, tested in CI) cannot link.

// The core's UTF-8 texts as Qt's.
inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string stdString(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Qt's text as the core's UTF-8.
inline std::string utf8(const QString& text) {
    return stdString(text.toUtf8());
}

inline QByteArray byteArray(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace vellumkite
