#pragma once

#include <QElapsedTimer>
#include <QObject>

class QKeyEvent;

/// Keeps a message box from being answered by a key that was already held
/// down when it opened, such as the key holding Run through a fault.
///
/// X11 sends a held key's auto-repeat as release/press pairs, and Qt can
/// flag one of those pairs as a real release and press (both with the same
/// time stamp). So while armed, the guard drops every press and release of
/// the held key, and lets a press through only when it comes clearly after
/// a release: a fresh press, which also ends the guard. Other keys, Esc and
/// the mouse act as usual.
class HeldKeyGuard : public QObject {
    Q_OBJECT

public:
    /// Watches the keyboard of the whole application.
    explicit HeldKeyGuard(QObject* parent = nullptr);
    ~HeldKeyGuard() override;

    /// The shortest gap between a release and a press that makes the press
    /// a fresh one; a repeat's pair has none.
    static constexpr unsigned long kFreshPressGapMs = 30;

    /// Starts guarding against the key that is down now, if any, until a
    /// fresh press of it.
    void Arm();
    /// The key being guarded against, or 0.
    int GuardedKey() const { return guarded_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Track(const QKeyEvent& key, bool press);
    bool Guard(const QKeyEvent& key, bool press);

    // What the keyboard did last, kept at all times.
    int lastKey_ = 0;
    bool lastKeyDown_ = false;
    QElapsedTimer sinceLastRelease_;

    int guarded_ = 0;
    bool guardedReleased_ = false;
    unsigned long guardedReleaseTime_ = 0;
};
