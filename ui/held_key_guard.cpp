#include "held_key_guard.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace {
// A release this recent may be the first half of a mis-flagged repeat whose
// press has not arrived yet.
constexpr qint64 kRecentReleaseMs = 100;
} // namespace

HeldKeyGuard::HeldKeyGuard(QObject* parent) : QObject(parent) {
    QCoreApplication::instance()->installEventFilter(this);
}

HeldKeyGuard::~HeldKeyGuard() {
    if (auto* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void HeldKeyGuard::Arm() {
    const bool recentlyReleased =
        sinceLastRelease_.isValid() && sinceLastRelease_.elapsed() < kRecentReleaseMs;
    guarded_ = lastKey_ != 0 && (lastKeyDown_ || recentlyReleased) ? lastKey_ : 0;
    guardedReleased_ = false;
}

bool HeldKeyGuard::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    if (!press && event->type() != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    // A key event that a widget ignores comes by again on its way to the
    // parent; handling it twice changes nothing.
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const bool drop = guarded_ != 0 && key.key() == guarded_ && Guard(key, press);
    Track(key, press);
    return drop;
}

void HeldKeyGuard::Track(const QKeyEvent& key, bool press) {
    if (key.isAutoRepeat())
        return;
    if (press) {
        lastKey_ = key.key();
        lastKeyDown_ = true;
    } else if (key.key() == lastKey_) {
        lastKeyDown_ = false;
        sinceLastRelease_.start();
    }
}

// True when the event must not reach the box.
bool HeldKeyGuard::Guard(const QKeyEvent& key, bool press) {
    if (key.isAutoRepeat())
        return true;
    if (!press) {
        guardedReleased_ = true;
        guardedReleaseTime_ = key.timestamp();
        return true;
    }
    if (guardedReleased_ && key.timestamp() - guardedReleaseTime_ >= kFreshPressGapMs) {
        guarded_ = 0;
        return false;
    }
    guardedReleased_ = false;
    return true;
}
