#include "timetable/scheduler.h"

#include <QTimer>
#include <cstdio>
#include <utility>
#include <vector>

#include "errortrap/core/runtime.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/trace/trace_sinks.h"
#include "platform/conversions.h"
#include "platform/error_texts.h"
#include "platform/formatting.h"
#include "platform/journal.h"
#include "platform/services.h"
#include "platform/profile_write.h"
#include "platform/runtime_error.h"
#include "timetable/catch_up.h"
#include "timetable/run_text.h"
#include "timetable/settings_file.h"
#include "timetable/switches.h"

namespace morrowset {

namespace {

using wardline::jumpTo;
using wardline::leave;
using wardline::next;
using wardline::Procedure;
using wardline::Statement;

// The timetable's procedures report under the window's module, as they always have.
const std::string kModule = "frmMain.frm";

constexpr int16_t kChecked = Timetable::kChecked;
constexpr int16_t kGrayed = Timetable::kGrayed;
using TimeFault = Timetable::TimeFault;

// The two characters of `text` from `start` on (fewer at its end), as the settings file's
// hour and minute are taken.
std::string twoCharactersAt(const std::string& text, std::size_t start) {
    return start < text.size() ? text.substr(start, 2) : std::string();
}

}  // namespace

Scheduler::Scheduler(std::string appFolder, platform::ChildWatcher& watcher, Launcher::StartProgram startProgram,
                     wardline::Runtime& runtime)
    : appFolder_(std::move(appFolder)),
      runtime_(runtime),
      launcher_(appFolder_, watcher, std::move(startProgram)),
      history_(appFolder_) {
    timetable_.setOnChange([this](int row) {
        if (view_) view_->rowChanged(row);
    });
    history_.setOnProblem([this](const std::string& problem) { say("HISTORY " + problem); });
    launcher_.setOnProblem([this](const std::string& problem) { say("OUTPUT " + problem); });
    // The history first: a run is on disk before anyone shows it.
    launcher_.addObserver(&history_);
    launcher_.addObserver(this);
}

Scheduler::~Scheduler() = default;

// Every procedure of the timetable runs its steps here: under the runtime's protocol, or
// plainly while the settings are read for a query.
void Scheduler::run(std::string_view procedure, std::initializer_list<Statement> steps) {
    if (plainly_)
        Procedure::runPlainly(steps);
    else
        Procedure(kModule, procedure).run(steps);
}

// ---- The settings file ----
//
// Each procedure keeps its name and its numbered statements: the numbers are what the
// error reports show users as the failing line.

void Scheduler::Form_Load() {
    settings::Reader file;
    int row = 0;
    std::string field;
    int32_t seconds = 0;
    run("Sub Form_Load", {
        {220, [&] { tellClockRunning(); }},
        {230, [&] {
             // The first start has no file yet: the rows stay empty and there is nothing to report.
             if (!settings::exists(settings::filePath(appFolder_))) return jumpTo(370);
             file.open(settings::filePath(appFolder_));
             return next();
         }},
        {240, [&] { row = 0; }},
        {250, [&] { field = file.readLine(); }},
        {260, [&] { timetable_.setState(row, platform::toInteger16(field)); }},
        {270, [&] { field = file.readLine(); }},
        // A command line read anew checks its row, as one typed in does.
        {280, [&] {
             if (Timetable::withoutLineBreaks(field) != timetable_.row(row).commandLine)
                 commandLineEdited(static_cast<int16_t>(row), field);
         }},
        {290, [&] { field = file.readLine(); }},
        // A time that does not fit the box ("7:00", "ab:cd") is reported and leaves the row
        // without a time, so the next tick grays it, as it does a time that never comes
        // ("25:00"); an hour or minute that is no number ("0#:00") is reported at its statement.
        {300, [&] {
             const bool fits = Timetable::fitsTimeBox(field);
             timetable_.setTimeText(row, fits ? field : Timetable::kNoTime);
             if (!fits) {
                 timetable_.setTimeAsRead(row, field);
                 platform::raiseError(platform::kInvalidPropertyValue);
             }
         }},
        {310, [&] { return field != Timetable::kNoTime ? next() : jumpTo(350); }},
        {320, [&] { seconds = platform::toInteger32(platform::toDouble(twoCharactersAt(field, 0)) * 3600); }},
        {330, [&] {
             seconds = platform::toInteger32(platform::toDouble(twoCharactersAt(field, 3)) * 60 + seconds);
             timetable_.setSeconds(row, seconds);
         }},
        {350, [&] { return ++row < kRows ? jumpTo(250) : next(); }},
        // What follows the eighteen lines: each row's days, time limit and folder, and
        // whatever else is there, kept for the next save.
        {360, [&] {
             readRules(file.rest());
             file.close();
         }},
        {370, [&] { tellClockRunning(); }},
    });
    timetable_.markSaved();
}

void Scheduler::readRules(std::string_view tail) {
    tail_ = SettingsTail::read(tail);
    for (int row = 0; row < kRows; ++row) {
        const RowRules& rules = tail_.rules()[static_cast<std::size_t>(row)];
        timetable_.setRules(row, rules);
        // A rule that cannot be read grays its row; no run-time error, the load goes on.
        if (!plainly_)
            for (const std::string& message : rules.messages(row)) say(message);
    }
}

SettingsTail::Rules Scheduler::rules() const {
    SettingsTail::Rules rules;
    for (int row = 0; row < kRows; ++row) rules[static_cast<std::size_t>(row)] = timetable_.row(row).rules;
    return rules;
}

void Scheduler::readSettings() {
    const bool outer = std::exchange(plainly_, true);
    const auto restore = [&] { plainly_ = outer; };
    try {
        Form_Load();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void Scheduler::cmdSave_Click() {
    settings::Writer file;
    int row = 0;
    bool written = false;
    run("Sub cmdSave_Click", {
        {140, [&] { file.open(settings::filePath(appFolder_)); }},
        {150, [&] { row = 0; }},
        {160, [&] { file.writeLine(settings::stateText(timetable_.row(row).state)); }},
        {170, [&] { file.writeLine(timetable_.row(row).commandLine); }},
        {180, [&] { file.writeLine(timetable_.row(row).timeText); }},
        {190, [&] { return ++row < kRows ? jumpTo(160) : next(); }},
        {200, [&] {
             file.writeBytes(tail_.write(rules()));
             file.commit();
             written = true;
         }},
    });
    if (written) timetable_.markSaved();
}

// ---- Edits ----

void Scheduler::commandLineEdited(int16_t index, std::string_view text) {
    timetable_.setCommandLine(index, text);
    txtPath_Change(index);
}

void Scheduler::txtPath_Change(int16_t index) {
    run("Sub txtPath_Change", {
        {620, [&] { timetable_.setState(index, kChecked); }},
    });
}

void Scheduler::mskTime_Validate(int16_t index, bool& cancel) {
    Timetable::TimeReading reading;
    int32_t seconds = 0;
    run("Sub mskTime_Validate", {
        {400, [&] { cancel = false; }},
        {410, [&] {
             reading = Timetable::readTime(timetable_.row(index).timeText);
             return reading.fault == TimeFault::NoTime ? leave() : next();
         }},
        {420, [&] { return reading.fault == TimeFault::Incomplete ? next() : jumpTo(460); }},
        {430, [&] {
             cancel = true;
             return leave();
         }},
        {460, [&] { return reading.fault == TimeFault::Hour ? next() : jumpTo(500); }},
        {470, [&] {
             cancel = true;
             return leave();
         }},
        {500, [&] { return reading.fault == TimeFault::Minute ? next() : jumpTo(540); }},
        {510, [&] {
             cancel = true;
             return leave();
         }},
        {540, [&] { seconds = reading.seconds; }},
        {550, [&] { timetable_.setSeconds(index, seconds); }},
        {560, [&] { timetable_.setState(index, kChecked); }},
    });
}

// ---- The clock ----

// The tick never waits for a person: it runs on while an error dialog is open, and the
// dialogs of its own errors come after it, from the event loop, while the clock goes on.
void Scheduler::tmrMain_Timer() {
    const wardline::ClockTick clockTick(runtime_);
    TickSchedule::Starts starts;
    platform::WallTime now;
    int row = 0;
    run("Sub tmrMain_Timer", {
        {570, [&] {
             now = platform::wallNow();
             starts = schedule_.tick(now, timetable_.rows());
             row = 0;
         }},
        {580, [&] {
             if (const auto start = starts.of(row)) {
                 if (start->late()) traceLateStart(*start);
                 startRow(static_cast<int16_t>(row), Trigger::Clock,
                          platform::WallTime::atPosition(now.position() - start->lateMs));
             }
         }},
        {590, [&] {
             if (!timetable_.row(row).canRun()) timetable_.setState(row, kGrayed);
         }},
        {600, [&] { return ++row < kRows ? jumpTo(580) : next(); }},
        {610, [&] {
             const std::tm now = platform::localNow();
             if (view_) view_->clockShown(platform::formatClock12(now.tm_hour, now.tm_min));
         }},
    });
    // Whatever the leap passed over, catching up starts (when it is on).
    if (schedule_.leaptAhead()) catchUpLater();
    // The journal drops what it cannot take at once; the count is said with the next tick.
    if (const uint64_t dropped = runtime_.platform().journal().takeDropped())
        say("JOURNAL " + std::to_string(dropped) + " entries could not go and were dropped");
    showWaitingDialogsLater();
}

void Scheduler::clockStarted() {
    paused_ = false;
    schedule_.beginAt(platform::wallNow());
}

void Scheduler::resume() {
    paused_ = false;
    for (const auto& [row, due] : schedule_.pausedOver(platform::wallNow(), timetable_.rows()))
        launcher_.skip(requestFor(row, Trigger::Clock, due), "paused");
    schedule_.forget();
}

void Scheduler::tellClockRunning() {
    if (view_) view_->clockRunning(!paused_);
}

void Scheduler::traceLateStart(const TickSchedule::Start& start) const {
    wardline::pfLogLine(runtime_.state().exePrefix +
                        TickSchedule::lateStartText(start.row, timetable_.row(start.row).seconds.value_or(0), start.lateMs) +
                        "\r\n");
}

// What the scheduler has to say about itself: a trace line, and standard error for whoever
// started the program.
void Scheduler::say(const std::string& text) const {
    wardline::pfLogLine(runtime_.state().exePrefix + text + "\r\n");
    std::fprintf(stderr, "Morrowset: %s\n", text.c_str());
}

// The dialogs of errors reported during a tick come from the event loop, after the tick.
void Scheduler::showWaitingDialogsLater() {
    if (wardline::dialogsWaiting(runtime_))
        QTimer::singleShot(0, &laterCalls_, [this] { wardline::showWaitingDialogs(runtime_); });
}

// ---- Starts ----

// Why a row starts (the clock, NOW, catching up) and the second it was due are the
// caller's; the procedure is NOW's.
void Scheduler::startRow(int16_t index, Trigger trigger, std::optional<platform::WallTime> due) {
    run("Sub cmdGo_Click", {
        {20, [&] { return timetable_.row(index).state == kChecked ? next() : jumpTo(40); }},
        {30, [&] { launcher_.start(requestFor(index, trigger, due)); }},
        {40, [] {}},
    });
}

void Scheduler::startByCommand(int16_t index) {
    {
        const wardline::ClockTick clockTick(runtime_);
        startRow(index, Trigger::Command, std::nullopt);
    }
    showWaitingDialogsLater();
}

RunRequest Scheduler::requestFor(int index, Trigger trigger, std::optional<platform::WallTime> due) const {
    const Timetable::Row& row = timetable_.row(index);
    RunRequest request;
    request.row = index;
    request.commandLine = row.commandLine;
    request.trigger = trigger;
    request.due = due;
    request.timeLimitSeconds = row.rules.timeLimitSeconds;
    // A folder "~/..." with no home folder known is one that cannot be entered.
    if (!row.rules.folder.empty()) request.folder = startFolder(row.rules.folder).value_or(row.rules.folder);
    return request;
}

void Scheduler::catchUpLater() {
    QTimer::singleShot(0, &laterCalls_, [this] { catchUpMissedStarts(); });
}

void Scheduler::catchUpMissedStarts() {
    if (!catchUpWanted(preferencesPath())) return;
    // Without a history of its own the program cannot know what already ran.
    if (const std::string why = RunHistory::distrusted(appFolder_); !why.empty()) {
        say("CATCH UP OFF " + why);
        return;
    }
    const platform::WallTime now = platform::wallNow();
    const TickSchedule::Rows rows = timetable_.rows();
    std::vector<DueStart> started = RunHistory::dueStartsOn(appFolder_, now.day);
    for (const DueStart& waiting : history_.waitingDueStartsOn(now.day)) started.push_back(waiting);
    {
        const wardline::ClockTick clockTick(runtime_);
        for (const int row : rowsToCatchUp(rows, now, started)) {
            const int32_t seconds = rows[static_cast<std::size_t>(row)].seconds;
            // The clock leaves this start alone, also when the clock goes back over it.
            schedule_.markStarted(row, now.day, seconds);
            startRow(static_cast<int16_t>(row), Trigger::CatchUp, platform::WallTime{now.day, seconds * 1000});
        }
    }
    showWaitingDialogsLater();
}

void Scheduler::setCatchUp(bool wanted) {
    switches::set(preferencesPath(), switches::kCatchUp, wanted, runtime_.prefs());
}

void Scheduler::restoreLastRuns() {
    const RunHistory::LastRuns last = RunHistory::lastRuns(appFolder_);
    for (int row = 0; row < kRows; ++row)
        if (const auto& run = last[static_cast<std::size_t>(row)]) timetable_.setLastRun(row, *run);
}

std::string Scheduler::nextStartText(int row) const {
    if (paused_) return "not scheduled while the clock is paused";
    return runtext::nextStartWithRules(timetable_.row(row), platform::wallNow());
}

void Scheduler::runStarted(const RunRecord& run) { timetable_.setLastRun(run.row, run); }
void Scheduler::runEnded(const RunRecord& run) { timetable_.setLastRun(run.row, run); }
void Scheduler::runRefused(const RunRecord& run) { timetable_.setLastRun(run.row, run); }
void Scheduler::runSkipped(const RunRecord& run) { timetable_.setLastRun(run.row, run); }

}  // namespace morrowset
