// Which rows a start catches up: those whose time passed earlier today and that the history
// holds no start of today for.
#include "timetable/catch_up.h"

#include <gmock/gmock.h>

#include "support/temp_folder.h"

namespace morrowset {
namespace {

constexpr int32_t kHour = 3600;

TickSchedule::Rows rowsAt(std::initializer_list<std::pair<bool, int32_t>> rows) {
    TickSchedule::Rows result{};
    std::size_t i = 0;
    for (const auto& [enabled, seconds] : rows) result[i++] = {enabled, seconds};
    return result;
}

platform::WallTime today(int32_t second, int32_t millisecond = 0) { return {20'000, second * 1000 + millisecond}; }

TEST(CatchUp, RowsWhoseTimePassedTodayWithoutAStartOfThatTime) {
    const struct {
        const char* what;
        TickSchedule::Rows rows;
        platform::WallTime now;
        std::vector<DueStart> started;
        std::vector<int> expected;
    } cases[] = {
        {"passed rows start in row order", rowsAt({{true, 2 * kHour}, {true, 1 * kHour}, {true, 9 * kHour}}),
         today(8 * kHour), {}, {0, 1}},
        {"a row started today at its time is done", rowsAt({{true, 2 * kHour}, {true, 1 * kHour}}), today(8 * kHour),
         {{0, 2 * kHour}}, {1}},
        {"a start of another time (the row's time was changed) does not count",
         rowsAt({{true, 2 * kHour}}), today(8 * kHour), {{0, 3 * kHour}}, {0}},
        {"another row's start does not count", rowsAt({{true, 2 * kHour}}), today(8 * kHour), {{1, 2 * kHour}}, {0}},
        {"off, grayed or without a time: never", rowsAt({{false, 2 * kHour}}), today(8 * kHour), {}, {}},
        {"the current second is the clock's", rowsAt({{true, 8 * kHour}}), today(8 * kHour, 400), {}, {}},
        {"the second before it has passed", rowsAt({{true, 8 * kHour - 1}}), today(8 * kHour), {}, {0}},
        {"midnight at the start of today has passed", rowsAt({{true, 0}}), today(1), {}, {0}},
        {"24:00 ends today: not yet", rowsAt({{true, 24 * kHour}}), today(24 * kHour - 1, 999), {}, {}},
        {"at the first second of the day nothing has passed", rowsAt({{true, 0}, {true, 5}}), today(0, 300), {}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(rowsToCatchUp(c.rows, c.now, c.started), c.expected) << c.what;
}

TEST(CatchUp, OnlyWhenThePreferencesSayOne) {
    testsupport::TempFolder folder;
    const struct {
        const char* text;
        bool wanted;
    } cases[] = {
        {"", false},
        {"[timetable]\r\nCatch Up=1\r\n", true},
        {"[Timetable]\r\ncatch up = 1\r\n", true},
        {"[timetable]\r\nCatch Up=0\r\n", false},
        {"[preferences]\r\nCatch Up=1\r\n", false},
    };
    for (const auto& c : cases) {
        const std::string path = folder.write("WLCLIENT.INI", c.text);
        EXPECT_EQ(catchUpWanted(path), c.wanted) << c.text;
    }
}

}  // namespace
}  // namespace morrowset
