// The model's notifications through a real notification server. Driven by
// tests/platform/notify-end-to-end.sh:
//   model_notify_end_to_end post             runs the model on a log with a very big chat over a
//                                            driven day and a bit; fails unless it posts exactly
//                                            once in the first 24 hours, once more after, and the
//                                            server takes both
//   model_notify_end_to_end check HISTORY    checks dunstctl's history (JSON) for the notification
#include "AppModel.hpp"
#include "DBusNotificationCenter.hpp"
#include "LogLines.hpp"
#include "MemoryPreferences.hpp"
#include "NotificationHistory.hpp"
#include "Timestamp.hpp"
#include "WaitUntil.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {

const QString kTitle = QStringLiteral("Very big chat (400k)");
const QString kBody = QStringLiteral("Every message re-reads all of it. Say \"wrap up\" so Claude "
                                     "saves notes, then /clear and start fresh.");

// Counts what the notifier hands on, then passes it to the real centre.
class CountingCenter : public NotificationCenter {
public:
    explicit CountingCenter(NotificationCenter& inner) : inner_(inner) {}
    void post(const QString& identifier, const QString& title, const QString& body,
              bool sound) override {
        ++posts;
        inner_.post(identifier, title, body, sound);
    }
    int posts = 0;

private:
    NotificationCenter& inner_;
};

using testing::waitUntil;

int post() {
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const Instant start = std::chrono::floor<std::chrono::seconds>(systemNow());
    testing::Reply reply;
    reply.sessionId = "e2e";
    reply.timestamp = Timestamp::format(start - 1min);
    reply.input = 400000;
    std::filesystem::create_directories(root / "projects");
    std::ofstream(root / "projects" / "e2e.jsonl") << testing::replyLine(reply) << "\n";

    auto dbus = DBusNotificationCenter::create();
    if (!dbus) {
        std::fprintf(stderr, "no notification centre on the session bus\n");
        return 1;
    }
    int accepted = 0;
    QObject::connect(dbus.get(), &DBusNotificationCenter::posted, [&] { ++accepted; });
    QObject::connect(dbus.get(), &DBusNotificationCenter::postFailed,
                     [](const QString&, const QString& error) {
                         std::fprintf(stderr, "post failed: %s\n", qPrintable(error));
                         std::exit(1);
                     });
    CountingCenter center(*dbus);
    MemoryPreferences prefs;
    std::atomic<std::int64_t> nowUs{start.time_since_epoch().count()};

    AppModel::Services services;
    services.preferences = &prefs;
    services.notifications = &center;
    services.clock = [&] { return Instant(std::chrono::microseconds(nowUs.load())); };
    services.environment = [] { return Environment(); };
    services.logRoot = root / "projects";
    services.limitsFile = root / "statusline.json";
    services.intervalMs = 3600 * 1000;
    AppModel model(services);
    int published = 0;
    QObject::connect(&model, &AppModel::published, [&] { ++published; });

    // Each step: the clock's offset from the start, then the posts expected so far.
    const struct {
        std::chrono::seconds offset;
        int posts;
    } steps[] = {{0s, 1}, {0s, 1}, {3s, 1}, {23h + 59min, 1}, {24h + 1s, 2}, {24h + 4s, 2}};
    bool first = true;
    for (const auto& step : steps) {
        nowUs = (start + step.offset).time_since_epoch().count();
        const int before = published;
        if (!first)
            model.refresh();
        first = false;
        if (!waitUntil([&] { return published == before + 1; })) {
            std::fprintf(stderr, "no publish\n");
            return 1;
        }
        if (center.posts != step.posts) {
            std::fprintf(stderr, "after %lld s: %d posts, expected %d\n",
                         static_cast<long long>(step.offset.count()), center.posts, step.posts);
            return 1;
        }
    }
    if (!waitUntil([&] { return accepted == 2; })) {
        std::fprintf(stderr, "the server took %d of 2 posts\n", accepted);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return vellumkite::testing::endToEndMain(argc, argv, post, kTitle, kBody);
}
