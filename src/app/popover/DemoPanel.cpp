#include "DemoPanel.hpp"

#include "AppModel.hpp"
#include "PopoverWindow.hpp"

#include <cstdio>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

namespace vellumkite {

DemoPanel::DemoPanel(AppModel& model, QObject* parent) : QObject(parent), model_(model) {
    connect(&model_, &AppModel::demoPanelRequested, this, &DemoPanel::open);
}

DemoPanel::~DemoPanel() = default;

void DemoPanel::open() {
    if (!panel_)
        panel_ = std::make_unique<PopoverWindow>(model_, PopoverWindow::Kind::panel);
    panel_->showPanel();
    QTimer::singleShot(kReportDelayMs, this, [this] {
        const QByteArray text = windowReport(panel_->windowHandle()).toUtf8();
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
        std::fflush(stdout);
        emit reported();
    });
}

QString DemoPanel::windowReport(const QWindow* demoPanel) {
    QString out;
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->isVisible())
            continue;
        const QRect frame = window->geometry(); // what a capture of the window holds
        out +=
            QStringLiteral("window %1 %2x%3 %4\n")
                .arg(window->winId())
                .arg(frame.width())
                .arg(frame.height())
                .arg(window == demoPanel                                ? QStringLiteral("popup")
                     : window->objectName() == QLatin1String("history") ? QStringLiteral("history")
                                                                        : QStringLiteral("box"));
    }
    return out;
}

} // namespace vellumkite
