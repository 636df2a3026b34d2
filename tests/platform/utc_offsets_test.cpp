// The local time's offsets learned ahead, for the crash handlers' dates.
#include <gmock/gmock.h>

#include <cstdlib>
#include <ctime>

#include "platform/clock.h"
#include "support/temp_folder.h"

namespace {

using testsupport::ScopedEnv;

// 2026-01-01 00:00:00 UTC and the changes of a zone one hour east of UTC with daylight
// saving from the last Sunday of March (02:00) to the last Sunday of October (03:00).
constexpr int64_t kNewYear2026 = 1767225600;
constexpr int64_t kSpring2026 = 1774746000;  // 2026-03-29 01:00:00 UTC
constexpr int64_t kAutumn2026 = 1792890000;  // 2026-10-25 01:00:00 UTC
constexpr int64_t kSpring2027 = 1806195600;  // 2027-03-28 01:00:00 UTC

struct Moment {
    int64_t when;
    long offset;
};

// The zone set for a test is the process's own only while it runs.
class UtcOffsets : public ::testing::Test {
protected:
    void TearDown() override { ::tzset(); }
};

TEST_F(UtcOffsets, KnowsEveryChangeToTheSecond) {
    const ScopedEnv zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    ::tzset();
    platform::UtcOffsets offsets;
    offsets.learn(kNewYear2026, 800);
    const Moment moments[] = {
        {kNewYear2026 - 86400, 3600},  // before the stretch: the first offset
        {kNewYear2026, 3600},          {kSpring2026 - 1, 3600}, {kSpring2026, 7200},
        {kAutumn2026 - 1, 7200},       {kAutumn2026, 3600},     {kSpring2027 - 1, 3600},
        {kSpring2027, 7200},
    };
    for (const Moment& m : moments) EXPECT_EQ(offsets.at(m.when), m.offset) << m.when;
}

TEST_F(UtcOffsets, BeyondTheStretchTheLastOffsetHolds) {
    const ScopedEnv zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    ::tzset();
    platform::UtcOffsets offsets;
    offsets.learn(kNewYear2026, 100);  // up to April: the spring change only
    EXPECT_EQ(offsets.at(kAutumn2026 + 1), 7200);

    const ScopedEnv utc("TZ", "UTC0");
    ::tzset();
    offsets.learn(kNewYear2026, 800);
    EXPECT_EQ(offsets.at(kSpring2026), 0);
}

}  // namespace
