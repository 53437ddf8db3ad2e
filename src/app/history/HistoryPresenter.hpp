#pragma once

#include <memory>
#include <optional>
#include <QList>
#include <QObject>
#include <QRect>

namespace vellumkite {

class AppModel;
class HistoryWindow;

// The one History window: made on the first request, raised on later ones, back where the user
// left it and as large (as far as a present screen holds it), and fed the model's history while
// it is open (the model reads nothing for it while it is closed).
class HistoryPresenter : public QObject {
    Q_OBJECT

public:
    explicit HistoryPresenter(AppModel& model, QObject* parent = nullptr);
    ~HistoryPresenter() override;

    // Opens the window, or raises it when it is open.
    void open();
    HistoryWindow* window() const { return window_.get(); }

    // Room left around the window for its frame.
    static constexpr int kFrameSide = 8;
    static constexpr int kFrameTop = 32;
    // Where the window opens: its saved place when that overlaps one of the screens' available
    // areas, shrunk and moved inside that area; else centred on the main one at its natural
    // size, shrunk so that it and its frame fit.
    static QRect place(const std::optional<QRect>& saved, const QSize& natural,
                       const QList<QRect>& screens, const QRect& main);

private:
    void fill();

    AppModel& model_;
    std::unique_ptr<HistoryWindow> window_;
};

} // namespace vellumkite
