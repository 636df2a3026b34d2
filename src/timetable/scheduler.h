#pragma once
// The scheduler: the timetable and everything that runs it, without a window. It owns the
// six rows (timetable.h), the clock's schedule (tick_schedule.h), the launcher that starts
// rows and follows each run to its end (launcher.h), the run history (run_history.h),
// catching up on missed starts (catch_up.h), and loading and saving the settings file
// (settings_file.h). It is built with what it works on: the application folder, the child
// watcher, the way programs are started, and the error-trap runtime.
//
// A window is a view of it: it shows the rows, forwards the user's edits, clicks and clock
// ticks here, and hears through a SchedulerView what to show. `--status` and tests without
// a display use the same scheduler.
//
// The event procedures of the timetable run here under the window's module name
// "frmMain.frm" with their statement numbers, so error reports read the same whoever shows
// the timetable.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include <QObject>

#include "platform/clock.h"
#include "timetable/launcher.h"
#include "timetable/run_history.h"
#include "timetable/row_rules.h"
#include "timetable/run_observer.h"
#include "timetable/tick_schedule.h"
#include "timetable/timetable.h"

namespace wardline {
class Runtime;
class Statement;
}  // namespace wardline

namespace morrowset {

// What whoever shows the timetable hears of it.
class SchedulerView {
public:
    virtual ~SchedulerView() = default;
    // A row's state, command line, time or last run changed.
    virtual void rowChanged(int row) = 0;
    // The status light: whether the clock runs (green) or is paused (red).
    virtual void clockRunning(bool running) = 0;
    // A tick's reading of the clock, as the clock label shows it: "2:05 PM".
    virtual void clockShown(const std::string& text) = 0;
};

class Scheduler : private RunObserver {
public:
    static constexpr int kRows = Timetable::kRows;

    // `startProgram`: how a row's command line is started (Launcher::startWith(watcher)).
    Scheduler(std::string appFolder, platform::ChildWatcher& watcher, Launcher::StartProgram startProgram,
              wardline::Runtime& runtime);
    ~Scheduler() override;
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void setView(SchedulerView* view) { view_ = view; }
    // Others who hear of every run (the journal, desktop notices), after the history and
    // the rows.
    void addRunObserver(RunObserver* observer) { launcher_.addObserver(observer); }

    const std::string& appFolder() const { return appFolder_; }
    // The runtime's preferences file, which also holds the [timetable] options.
    std::string preferencesPath() const { return appFolder_ + "/WLCLIENT.INI"; }
    Timetable& timetable() { return timetable_; }
    const Timetable& timetable() const { return timetable_; }
    Launcher& launcher() { return launcher_; }
    const RunHistory& history() const { return history_; }

    // ---- The settings file ----
    // Fills the rows from the settings file; errors go to the runtime's trap. What it read
    // is what a row is compared with until the next Save (Timetable::changedSinceSave).
    void Form_Load();
    // The same steps outside the runtime (nothing traced, nothing reported, no trace file
    // touched): the first error is raised to the caller. For `--status`.
    void readSettings();
    // Writes the rows; once written whole, they are what a row is compared with.
    void cmdSave_Click();

    // ---- Edits ----
    // The user typed a command line: it goes to the row, and the row is checked.
    void commandLineEdited(int16_t index, std::string_view text);
    void txtPath_Change(int16_t index);
    // Accepts the row's time text as its start time, or says why not (`cancel`).
    void mskTime_Validate(int16_t index, bool& cancel);

    // ---- The clock ----
    // One tick: starts the rows whose time came since the last, grays rows that cannot run
    // and shows the clock.
    void tmrMain_Timer();
    // The clock starts with the program: its first tick looks back to the second the
    // program started in, so a row due in that second still starts.
    void clockStarted();
    bool paused() const { return paused_; }
    void pause() { paused_ = true; }
    // Resuming looks only at the second it resumes in: the rows whose time passed while
    // paused are skipped for that date, each said in the history and its row.
    void resume();

    // Writes [timetable] "Catch Up" into the preferences file; raises the file's error.
    void setCatchUp(bool wanted);

    // ---- Starts ----
    // NOW: starts a checked row at once, also while paused.
    void cmdGo_Click(int16_t index) { startRow(index, Trigger::Now, std::nullopt); }
    // `Morrowset --run`: the same for a program asking from outside. Its errors wait for
    // their dialogs as a tick's do: the asking program is answered at once.
    void startByCommand(int16_t index);
    // At start, and after the wall clock leapt ahead: the rows whose time passed today
    // without a start, when the preferences ask for it. Waits for no dialog.
    void catchUpMissedStarts();
    // The same from the event loop, once what runs now is done.
    void catchUpLater();
    // Each row's last run from the history, as it was before this program started.
    void restoreLastRuns();

    // When the row starts next, in words (run_text.h), or why it does not.
    std::string nextStartText(int row) const;

private:
    // Runs a procedure's steps under the runtime's protocol, or plainly (readSettings).
    void run(std::string_view procedure, std::initializer_list<wardline::Statement> steps);
    void startRow(int16_t index, Trigger trigger, std::optional<platform::WallTime> due);
    RunRequest requestFor(int index, Trigger trigger, std::optional<platform::WallTime> due) const;
    void readRules(std::string_view tail);
    SettingsTail::Rules rules() const;
    void traceLateStart(const TickSchedule::Start& start) const;
    void say(const std::string& text) const;
    void showWaitingDialogsLater();
    void tellClockRunning();
    void runStarted(const RunRecord& run) override;
    void runEnded(const RunRecord& run) override;
    void runRefused(const RunRecord& run) override;
    void runSkipped(const RunRecord& run) override;

    const std::string appFolder_;
    wardline::Runtime& runtime_;
    SchedulerView* view_ = nullptr;
    Timetable timetable_;
    TickSchedule schedule_;
    Launcher launcher_;
    RunHistory history_;
    SettingsTail tail_;  // what the settings file holds after its 18 lines
    bool paused_ = false;
    bool plainly_ = false;  // while readSettings runs the load's steps
    // Calls the scheduler makes from the event loop, later, die with it.
    QObject laterCalls_;
};

}  // namespace morrowset
