#include "timetable/run_record.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

namespace morrowset {

namespace {

using namespace std::chrono;

constexpr std::string_view kTriggerNames[] = {"clock", "now", "catch-up", "command"};
constexpr std::string_view kStopReasonNames[] = {"", "time limit", "stop"};

// The wall reading and offset of a Unix time, from the zone in force.
Stamp stampAtUnix(int64_t unixMilliseconds) {
    const auto seconds = static_cast<std::time_t>(unixMilliseconds >= 0 ? unixMilliseconds / 1000
                                                                          : (unixMilliseconds - 999) / 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return {platform::wallTimeAt(unixMilliseconds), static_cast<int32_t>(local.tm_gmtoff)};
}

std::tm tmOf(platform::WallTime local) {
    const year_month_day date{sys_days{days{local.day}}};
    const int second = local.millisecond / 1000;
    std::tm tm{};
    tm.tm_year = static_cast<int>(date.year()) - 1900;
    tm.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    tm.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    tm.tm_hour = second / 3600;
    tm.tm_min = second / 60 % 60;
    tm.tm_sec = second % 60;
    return tm;
}

// Reads `count` digits at `at`; -1 when they are not all digits.
int digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string_view triggerName(Trigger trigger) { return kTriggerNames[static_cast<int>(trigger)]; }

std::optional<Trigger> triggerNamed(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kTriggerNames); ++i)
        if (kTriggerNames[i] == name) return static_cast<Trigger>(i);
    return std::nullopt;
}

std::string_view stopReasonName(StopReason reason) { return kStopReasonNames[static_cast<int>(reason)]; }

std::optional<StopReason> stopReasonNamed(std::string_view name) {
    for (int i = 0; i < 3; ++i)
        if (kStopReasonNames[i] == name) return static_cast<StopReason>(i);
    return std::nullopt;
}

Stamp stampNow() {
    const int64_t unixMs = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const Stamp system = stampAtUnix(unixMs);
    const platform::WallTime wall = platform::wallNow();
    // Another time source than the system clock (a test's) reads elsewhere.
    if (std::llabs(wall.position() - system.local.position()) < 2000) return {wall, system.utcOffsetSeconds};
    return stampOf(wall);
}

Stamp stampOf(platform::WallTime local) {
    std::tm tm = tmOf(local);
    tm.tm_isdst = -1;
    const std::time_t moment = std::mktime(&tm);
    std::tm back{};
    ::localtime_r(&moment, &back);
    return {local, static_cast<int32_t>(back.tm_gmtoff)};
}

std::string isoText(const Stamp& stamp, bool withMilliseconds) {
    const std::tm tm = tmOf(stamp.local);
    const int offsetMinutes = std::abs(stamp.utcOffsetSeconds) / 60;
    char text[48];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                                     tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::string iso(text, static_cast<std::size_t>(length));
    if (withMilliseconds) {
        std::snprintf(text, sizeof text, ".%03d", stamp.local.millisecond % 1000);
        iso += text;
    }
    std::snprintf(text, sizeof text, "%c%02d:%02d", stamp.utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60,
                  offsetMinutes % 60);
    return iso + text;
}

std::optional<Stamp> stampFromIso(std::string_view text) {
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
    if (year < 0 || month < 1 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    std::size_t at = 19;
    int millisecond = 0;
    if (at < text.size() && text[at] == '.') {
        millisecond = digitsAt(text, at + 1, 3);
        if (millisecond < 0) return std::nullopt;
        at += 4;
    }
    const int offsetHours = digitsAt(text, at + 1, 2), offsetMinutes = digitsAt(text, at + 4, 2);
    if (text.size() != at + 6 || (text[at] != '+' && text[at] != '-') || text[at + 3] != ':' || offsetHours < 0 ||
        offsetMinutes < 0)
        return std::nullopt;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) return std::nullopt;
    const int offset = (offsetHours * 3600 + offsetMinutes * 60) * (text[at] == '-' ? -1 : 1);
    return Stamp{{static_cast<int32_t>(sys_days{date}.time_since_epoch().count()),
                  ((hour * 60 + minute) * 60 + second) * 1000 + millisecond},
                 offset};
}

RunRecord::Result RunRecord::result() const {
    if (!skipped.empty()) return Result::Skipped;
    if (refused()) return Result::Failed;
    if (!ended) return endUnseen ? Result::Unseen : Result::Running;
    return exitStatus == 0 && signal == 0 && stopped == StopReason::None ? Result::Succeeded : Result::Failed;
}

std::string signalName(int signal) {
    if (const char* abbreviation = ::sigabbrev_np(signal)) return std::string("SIG") + abbreviation;
    return "signal " + std::to_string(signal);
}

int signalNumber(std::string_view name) {
    for (int signal = 1; signal < NSIG; ++signal)
        if (const char* abbreviation = ::sigabbrev_np(signal); abbreviation && name == signalName(signal)) return signal;
    if (name.starts_with("signal ")) return std::atoi(std::string(name.substr(7)).c_str());
    return 0;
}

}  // namespace morrowset
