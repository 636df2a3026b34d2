#include "app/second_timer.h"

#include "timetable/tick_schedule.h"
#include "platform/clock.h"

namespace morrowset {

SecondTimer::SecondTimer(std::function<void()> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SecondTimer::deliverTick);
}

void SecondTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled) arm();
    else timer_.stop();
}

void SecondTimer::setManual(bool manual) {
    manual_ = manual;
    if (manual) timer_.stop();
    else if (enabled_) arm();
}

void SecondTimer::arm() {
    if (manual_) return;
    timer_.start(TickSchedule::millisecondsToNextTick(platform::wallNow().millisecond));
}

void SecondTimer::deliverTick() {
    if (!enabled_) return;
    onTick_();
    if (enabled_) arm();
}

}  // namespace morrowset
