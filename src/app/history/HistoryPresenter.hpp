#pragma once

#include <memory>
#include <QObject>

namespace vellumkite {

class AppModel;
class HistoryWindow;

// The one History window: made on the first request, raised on later ones, back where the user
// left it and as large, and fed the model's history while it is open (the model reads nothing
// for it while it is closed).
class HistoryPresenter : public QObject {
    Q_OBJECT

public:
    explicit HistoryPresenter(AppModel& model, QObject* parent = nullptr);
    ~HistoryPresenter() override;

    // Opens the window, or raises it when it is open.
    void open();
    HistoryWindow* window() const { return window_.get(); }

private:
    void fill();

    AppModel& model_;
    std::unique_ptr<HistoryWindow> window_;
};

} // namespace vellumkite
