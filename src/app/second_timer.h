#pragma once
// The window's clock timer: while enabled it ticks once a second, each tick just after a
// whole second of the time source, re-armed after every tick. A tick that is still running
// (held by an error dialog, say) delays the next one instead of piling ticks up.
#include <QObject>
#include <QTimer>
#include <functional>

namespace morrowset {

class SecondTimer : public QObject {
public:
    explicit SecondTimer(std::function<void()> onTick, QObject* parent = nullptr);

    bool isEnabled() const { return enabled_; }
    // Enabling arms the first tick for just after the next whole second.
    void setEnabled(bool enabled);
    // Milliseconds until the armed tick; -1 when none is armed.
    int remainingMs() const { return timer_.remainingTime(); }

    // For tests that deliver the ticks themselves: no tick comes on its own any more.
    void setManual(bool manual);
    // Delivers one tick now, as the timer would (nothing happens while disabled).
    void deliverTick();

private:
    void arm();

    std::function<void()> onTick_;
    QTimer timer_;
    bool enabled_ = false;
    bool manual_ = false;
};

}  // namespace morrowset
