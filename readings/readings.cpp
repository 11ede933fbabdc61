#include "readings.h"

#include <QElapsedTimer>

#include <algorithm>
#include <optional>
#include <vector>

namespace READINGS {

namespace {
struct Hub {
    std::vector<Subscriber*> subscribers;
    int notifying = 0;   // > 0 while subscribers are being called
    bool removed = false;
    quint64 lastId = 0;
    quint64 currentId = 0;   // 0: no activity under way
    std::optional<Activity> current;
    Published published;   // of the current activity
};

Hub& TheHub() {
    static Hub hub;
    return hub;
}

// Calls every subscriber; one that unsubscribes meanwhile is skipped, and the
// list is tidied once the outermost call is done.
template <class Call>
void Notify(Call call) {
    Hub& h = TheHub();
    ++h.notifying;
    for (std::size_t i = 0; i < h.subscribers.size(); ++i)
        if (Subscriber* s = h.subscribers[i]) call(s);
    if (--h.notifying == 0 && h.removed) {
        h.subscribers.erase(std::remove(h.subscribers.begin(), h.subscribers.end(), nullptr),
                            h.subscribers.end());
        h.removed = false;
    }
}
}  // namespace

Subscriber::~Subscriber() { Unsubscribe(this); }

void Subscribe(Subscriber* subscriber) {
    Hub& h = TheHub();
    if (!subscriber || std::find(h.subscribers.begin(), h.subscribers.end(), subscriber) != h.subscribers.end())
        return;
    h.subscribers.push_back(subscriber);
}

void Unsubscribe(Subscriber* subscriber) {
    Hub& h = TheHub();
    auto it = std::find(h.subscribers.begin(), h.subscribers.end(), subscriber);
    if (it == h.subscribers.end()) return;
    if (h.notifying) {
        *it = nullptr;
        h.removed = true;
    } else {
        h.subscribers.erase(it);
    }
}

quint64 StartActivity(const Activity& activity) {
    Hub& h = TheHub();
    if (h.currentId) EndActivity(h.currentId);
    h.currentId = ++h.lastId;
    h.current = activity;
    h.published = Published();
    Notify([&activity](Subscriber* s) { s->activityStarted(activity); });
    return h.currentId;
}

void EndActivity(quint64 id) {
    Hub& h = TheHub();
    if (id == 0 || id != h.currentId) return;
    h.currentId = 0;
    h.current.reset();
    h.published = Published();
    Notify([](Subscriber* s) { s->activityEnded(); });
}

qint64 MonotonicMs() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

void Publish(const Reading& reading) {
    Hub& h = TheHub();
    if (h.currentId) {
        Published& p = h.published;
        ++p.readings;
        p.lastMs = MonotonicMs();
        if (p.firstMs < 0) p.firstMs = p.lastMs;
    }
    Notify([&reading](Subscriber* s) { s->readingTaken(reading); });
}

void AnnounceSetup(qint16 mode, qint16 comp) {
    Notify([mode, comp](Subscriber* s) { s->setupRead(mode, comp); });
}

const Activity* CurrentActivity() {
    const Hub& h = TheHub();
    return h.current ? &*h.current : nullptr;
}

Published PublishedSoFar() { return TheHub().published; }

}  // namespace READINGS
