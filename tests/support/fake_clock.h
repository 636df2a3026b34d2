#pragma once
// A wall clock that stands where the test puts it, for the runtime's time stamps and the
// timetable's ticks. Setting a time of day moves it forward to the next moment that shows
// that time, the next day when need be, as a clock does.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "platform/clock.h"

namespace testsupport {

class FakeClock : public platform::TimeSource {
public:
    // 2024-01-01 12:00.
    FakeClock() = default;
    // The given local date and time; `month` counts from 1.
    FakeClock(int year, int month, int day, int hour, int minute, int second) {
        using namespace std::chrono;
        const sys_days date{year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}}};
        now_ = {static_cast<int32_t>(date.time_since_epoch().count()), ((hour * 60 + minute) * 60 + second) * 1000};
    }

    void set(double secondsSinceMidnight) {
        const auto target = static_cast<int32_t>(std::llround(secondsSinceMidnight * 1000));
        if (target < now_.millisecond) ++now_.day;
        now_.millisecond = target;
    }
    void set(int hour, int minute, double second = 0.01) { set(hour * 3600 + minute * 60 + second); }
    // Puts the clock anywhere, also back.
    void setTo(platform::WallTime when) { now_ = when; }

    platform::WallTime wallNow() const override { return now_; }
    std::tm localNow() const override {
        using namespace std::chrono;
        const year_month_day date{sys_days{days{now_.day}}};
        const int whole = now_.millisecond / 1000;
        std::tm now{};
        now.tm_hour = whole / 3600;
        now.tm_min = whole / 60 % 60;
        now.tm_sec = whole % 60;
        now.tm_year = static_cast<int>(date.year()) - 1900;
        now.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
        now.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
        return now;
    }

private:
    platform::WallTime now_{19723, 12 * 3600 * 1000};  // 2024-01-01 12:00
};

}  // namespace testsupport
