#pragma once

// The icon tool as the build made it, run into a folder of the test's.
#include <filesystem>
#include <gtest/gtest.h>
#include <QProcess>
#include <QString>

namespace vellumkite::testing {

inline void drawIcons(const std::filesystem::path& folder) {
    QProcess tool;
    tool.start(QStringLiteral(VELLUMKITE_ICONS_PATH), {QString::fromStdString(folder.string())});
    ASSERT_TRUE(tool.waitForFinished(120000));
    ASSERT_EQ(tool.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
}

} // namespace vellumkite::testing
