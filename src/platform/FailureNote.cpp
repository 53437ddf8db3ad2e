#include "FailureNote.hpp"

#include <QDebug>

namespace vellumkite {

void FailureNote::record(bool ok, const QString& detail) {
    if (!ok && !failing_) {
        QString line = QStringLiteral("Vellumkite: cannot ") + what_;
        if (!detail.isEmpty())
            line += QStringLiteral(": ") + detail;
        qWarning().noquote() << line;
    }
    failing_ = !ok;
}

} // namespace vellumkite
