#include "HistoryFeed.hpp"

#include "StoreThread.hpp"

#include <QTimer>

namespace vellumkite {

HistoryFeed::HistoryFeed(StoreThread* store, std::function<Question()> question, QObject* parent)
    : QObject(parent), store_(store), question_(std::move(question)) {}

void HistoryFeed::watch(bool watching) {
    watching_ = watching;
    if (watching) {
        due_ = true;
        read();
    }
}

void HistoryFeed::askAgain() {
    due_ = true;
    read();
}

void HistoryFeed::afterPass(const HistoryKeeper::Status& status, bool read) {
    const bool statusChanged = !(status_ == status);
    status_ = status;
    due_ = due_ || read || statusChanged;
    if (statusChanged)
        emit changed();
    this->read();
}

void HistoryFeed::show(std::optional<HistoryOverview> overview, HistoryKeeper::Status status) {
    overview_ = std::move(overview);
    status_ = std::move(status);
    emit changed();
}

void HistoryFeed::read() {
    if (!store_ || !watching_ || !due_ || reading_)
        return;
    // At most once a second: a read that comes sooner waits for the rest of the second.
    constexpr qint64 kMinimumGapMs = 1000;
    if (sinceRead_.isValid() && sinceRead_.elapsed() < kMinimumGapMs) {
        if (!timer_) {
            timer_ = new QTimer(this);
            timer_->setSingleShot(true);
            connect(timer_, &QTimer::timeout, this, &HistoryFeed::read);
        }
        if (!timer_->isActive())
            timer_->start(static_cast<int>(kMinimumGapMs - sinceRead_.elapsed()));
        return;
    }
    due_ = false;
    reading_ = true;
    sinceRead_.start();
    Question q = question_();
    store_->overview(q.now, q.weekly, std::move(q.dayAndTime), q.scope, this,
                     [this](std::optional<HistoryOverview> overview) {
                         reading_ = false;
                         overview_ = std::move(overview);
                         emit changed();
                         read(); // a pass that came meanwhile
                     });
}

} // namespace vellumkite
