#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <time.h>

#if defined(__x86_64__)
#include <cpuid.h>
#include <sys/prctl.h>
#include <x86intrin.h>
#endif

#include "platform/services.h"

namespace platform {
namespace {

const TimeSource& systemClock() {
    static const TimeSource clock;
    return clock;
}

}  // namespace

std::tm TimeSource::localNow() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

WallTime TimeSource::wallNow() const {
    using namespace std::chrono;
    return wallTimeAt(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

WallTime WallTime::atPosition(int64_t position) {
    const int64_t day = position >= 0 ? position / kMillisecondsPerDay : (position + 1) / kMillisecondsPerDay - 1;
    return {static_cast<int32_t>(day), static_cast<int32_t>(position - day * kMillisecondsPerDay)};
}

WallTime wallTimeAt(int64_t unixMilliseconds) {
    using namespace std::chrono;
    const int64_t wholeSeconds = unixMilliseconds >= 0 ? unixMilliseconds / 1000 : (unixMilliseconds - 999) / 1000;
    const auto seconds = static_cast<std::time_t>(wholeSeconds);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return WallTime::atPosition(unixMilliseconds);
    const sys_days date{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    // A leap second (tm_sec 60) reads as the last millisecond of its minute.
    const int32_t second = local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
    const auto fraction = static_cast<int32_t>(local.tm_sec > 59 ? 999 : unixMilliseconds - wholeSeconds * 1000);
    return {static_cast<int32_t>(date.time_since_epoch().count()), second * 1000 + fraction};
}

const TimeSource& Services::timeSource() const { return clock ? *clock : systemClock(); }

const TimeSource& timeSource() { return services().timeSource(); }

int64_t monotonicMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t coarseMonotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

void TickScale::startLearning(uint64_t ticks, int64_t fixed) {
    firstTicks_ = baseTicks_ = ticks;
    firstFixed_ = baseFixed_ = fixed;
    fixedPerTick_ = 0;
    started_ = true;
}

void TickScale::anchor(uint64_t ticks, int64_t fixed) {
    const int64_t error = fixedPerTick_ != 0 && ticks >= baseTicks_ ? guess(ticks) - fixed : 0;
    const bool astray = error > kMostAstray || error < -kMostAstray;
    if (!started_ || ticks <= firstTicks_ || fixed < baseFixed_ || astray) return startLearning(ticks, fixed);
    baseTicks_ = ticks;
    baseFixed_ = fixed;
    const int64_t span = fixed - firstFixed_;
    if (span < kLearnOver) return;
    const auto perTick = (static_cast<unsigned __int128>(span) << 32) / (ticks - firstTicks_);
    if (perTick == 0 || perTick > UINT32_MAX) return startLearning(ticks, fixed);  // no counter this slow or fast
    fixedPerTick_ = static_cast<uint64_t>(perTick);
    longestGuess_ = static_cast<uint64_t>((static_cast<unsigned __int128>(kLongestGuess) << 32) / fixedPerTick_);
}

namespace {

int64_t readMonotonicFixed() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 10'000'000 + now.tv_nsec / 100;
}

#if defined(__x86_64__)
// A counter that runs at one rate whatever the processor's power state, and that this
// process may read.
bool counterIsSteady() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    constexpr unsigned kInvariantCounter = 1u << 8;
    if (!__get_cpuid(0x80000007, &eax, &ebx, &ecx, &edx) || !(edx & kInvariantCounter)) return false;
    int use = 0;
    return ::prctl(PR_GET_TSC, &use, 0, 0, 0) == 0 && use == PR_TSC_ENABLE;
}

// Per thread, so no reader waits for another; `busy` keeps a signal handler that reads the
// clock while the scale is being changed away from the half-changed scale.
struct CounterClock {
    TickScale scale;
    int64_t last = 0;
    int8_t steady = -1;  // not yet asked
    int8_t widePairs = 0;
    volatile sig_atomic_t busy = 0;
};
thread_local CounterClock counterClock;

// A pair read across an interrupt or a switch of threads says too little about when the
// clock was read; a counter whose every reading is that slow (a hypervisor that traps it)
// is no gain over the clock and is given up.
constexpr uint64_t kWidestPair = 2000;
constexpr int8_t kMostWidePairsInARow = 16;

[[gnu::noinline]] int64_t readAndAnchor(CounterClock& clock) {
    if (clock.steady < 0) clock.steady = counterIsSteady() ? 1 : 0;
    if (!clock.steady || clock.busy) return readMonotonicFixed();
    const uint64_t before = __rdtsc();
    const int64_t now = readMonotonicFixed();
    const uint64_t after = __rdtsc();
    if (after - before > kWidestPair) {
        if (++clock.widePairs >= kMostWidePairsInARow) clock.steady = 0;
        return now;
    }
    clock.widePairs = 0;
    clock.busy = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    clock.scale.anchor(before + (after - before) / 2, now);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    clock.busy = 0;
    return now;
}
#endif

}  // namespace

int64_t monotonicFixedMilliseconds() {
#if defined(__x86_64__)
    CounterClock& clock = counterClock;
    int64_t now = 0;
    if (clock.busy || !clock.scale.turn(__rdtsc(), now)) [[unlikely]]
        now = readAndAnchor(clock);
    // Anchoring may set the clock back by the little the counter ran ahead of it.
    if (now < clock.last) [[unlikely]]
        return clock.last;
    clock.last = now;
    return now;
#else
    return readMonotonicFixed();
#endif
}

namespace {

long offsetAt(int64_t unixSeconds) {
    const auto when = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    return localtime_r(&when, &local) ? local.tm_gmtoff : 0;
}

}  // namespace

// A day at a time, then the very second of each change by halving the day it falls in;
// zones change at most a few times a year, never twice within a day.
void UtcOffsets::learn(int64_t unixSeconds, int days) {
    constexpr int64_t kDay = 86'400;
    changes_ = 0;
    offset_[0] = offsetAt(unixSeconds);
    int64_t before = unixSeconds;
    for (int day = 1; day <= days && changes_ < kMaxChanges; ++day) {
        const int64_t after = unixSeconds + day * kDay;
        const long offset = offsetAt(after);
        if (offset == offset_[static_cast<std::size_t>(changes_)]) {
            before = after;
            continue;
        }
        int64_t low = before;  // still the old offset
        int64_t high = after;  // already the new one
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            (offsetAt(middle) == offset ? high : low) = middle;
        }
        changeAt_[static_cast<std::size_t>(changes_)] = high;
        offset_[static_cast<std::size_t>(++changes_)] = offset;
        before = after;
    }
}

long UtcOffsets::at(int64_t unixSeconds) const noexcept {
    int k = 0;
    while (k < changes_ && unixSeconds >= changeAt_[static_cast<std::size_t>(k)]) ++k;
    return offset_[static_cast<std::size_t>(k)];
}

}  // namespace platform
