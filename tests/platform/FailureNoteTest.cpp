#include "FailureNote.hpp"

#include <gtest/gtest.h>
#include <QStringList>

using namespace vellumkite;

namespace {

QStringList gLines;

void record(QtMsgType, const QMessageLogContext&, const QString& message) {
    gLines.append(message);
}

TEST(FailureNoteTest, SaysOncePerRunOfFailures) {
    gLines.clear();
    const auto previous = qInstallMessageHandler(record);
    FailureNote note(QStringLiteral("save the corner"));
    note.record(true);
    note.record(false, QStringLiteral("Permission denied"));
    note.record(false, QStringLiteral("Permission denied"));
    note.record(false);
    note.record(true);
    note.record(false);
    qInstallMessageHandler(previous);
    EXPECT_EQ(gLines, QStringList({"Vellumkite: cannot save the corner: Permission denied",
                                   "Vellumkite: cannot save the corner"}));
}

} // namespace
