#pragma once

#include <QString>

namespace vellumkite {

// Puts a failed attempt on the log once per run of failures: a save that is tried again every
// few seconds must not flood the log, and one that recovers and fails again is said again.
class FailureNote {
public:
    // `what` completes "Vellumkite: cannot ...", for example "save the preferences".
    explicit FailureNote(QString what) : what_(std::move(what)) {}

    // The outcome of the latest attempt; a detail, when given, follows the line after a colon.
    void record(bool ok, const QString& detail = {});

private:
    QString what_;
    bool failing_ = false;
};

} // namespace vellumkite
