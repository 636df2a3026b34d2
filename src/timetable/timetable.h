#pragma once
// The timetable: six rows, each an enabled state, a command line, the time text the user
// typed, the row's start time in seconds after midnight and its last run. The scheduler
// (scheduler.h) reads the settings file into it, writes it back, and asks it which rows may
// start; the window shows it. Nothing here needs the widgets.
//
// The time rules are here and nowhere else: what a time text may look like (the time
// box's shape, "hh:mm" with "#" for a place not yet typed) and which texts are times of day
// ("00:00" to "23:59", and "24:00", the midnight at the end of the day).
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "timetable/row_rules.h"
#include "timetable/run_record.h"
#include "timetable/tick_schedule.h"

namespace morrowset {

class Timetable {
public:
    static constexpr int kRows = kRowCount;

    // A row's enabled state: only a checked row may start; the clock grays a row that has
    // no time or no command line.
    static constexpr int16_t kUnchecked = 0;
    static constexpr int16_t kChecked = 1;
    static constexpr int16_t kGrayed = 2;

    // The time text of a row without a time.
    static constexpr std::string_view kNoTime = "##:##";

    struct Row {
        int16_t state = kUnchecked;
        std::string commandLine;            // bytes, as typed or read; never a line break
        std::string timeText{kNoTime};      // what the time box holds
        std::optional<int32_t> seconds;     // the start time; none until a time was accepted
        std::optional<RunRecord> lastRun;   // the last run started, none before the first
        // A time the settings file held that the time box cannot hold ("ab:cd"), as read;
        // the box then holds no time. Empty otherwise.
        std::string timeAsRead;
        // Its days, time limit and folder (row_rules.h), kept after the file's 18 lines.
        RowRules rules;
        // The clock grays a row that lacks a time or a command line, or whose rules
        // cannot be read.
        bool canRun() const;
    };

    // What a time text says.
    enum class TimeFault {
        None,           // a time of day
        NoTime,         // "##:##"
        Incomplete,     // a place not yet typed
        Hour,           // an hour past 24, or no number
        Minute,         // a minute past 59, or past 24:00
    };
    struct TimeReading {
        TimeFault fault = TimeFault::NoTime;
        int32_t seconds = 0;  // hours × 3600 + minutes × 60 when fault is None
    };
    static TimeReading readTime(std::string_view text);
    static bool isTimeOfDay(std::string_view text) { return readTime(text).fault == TimeFault::None; }
    // True for what the time box can hold: two digits or prompts, a colon, two digits or prompts.
    static bool fitsTimeBox(std::string_view text);

    const Row& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }

    // Raises 380 Invalid property value outside 0 to 2.
    void setState(int index, int32_t state);
    // Line breaks become blanks: a command line is one line of the settings file.
    void setCommandLine(int index, std::string_view bytes);
    // Raises 380 Invalid property value when `text` does not fit the time box.
    void setTimeText(int index, std::string_view text);
    void setSeconds(int index, int32_t seconds);
    // Keeps a time text read from the settings file that the time box cannot hold.
    void setTimeAsRead(int index, std::string_view text);
    void setRules(int index, const RowRules& rules);
    // Becomes the row's last run, unless the row's last run started later.
    void setLastRun(int index, const RunRecord& run);

    // What the clock's schedule needs: a row takes part when it is checked and its time
    // can come.
    TickSchedule::Rows rows() const;

    // What each row is in the settings file, as last loaded or saved: a row edited since
    // differs from it. The clock graying a row that cannot run is no edit.
    void markSaved();
    bool changedSinceSave(int index) const;

    // Called with the row's index after each change of a row.
    void setOnChange(std::function<void(int index)> onChange) { onChange_ = std::move(onChange); }
    // Goes up with every change of a row: what is made from the rows can be kept until it moves.
    uint64_t revision() const { return revision_; }

    // `text` with every CR and LF replaced by a blank.
    static std::string withoutLineBreaks(std::string_view text);

private:
    // What the settings file keeps of a row.
    struct Saved {
        int16_t state = kUnchecked;
        std::string commandLine;
        std::string timeText{kNoTime};
        RowRules rules;
        bool operator==(const Saved&) const = default;
    };
    static Saved savedForm(const Row& row);
    Row& changing(int index) { return rows_.at(static_cast<std::size_t>(index)); }
    void changed(int index) const;

    std::array<Row, kRows> rows_{};
    std::array<Saved, kRows> saved_{};
    std::function<void(int)> onChange_;
    mutable uint64_t revision_ = 0;
};

}  // namespace morrowset
