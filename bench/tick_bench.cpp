// Cost of one clock tick of the timetable window with six complete rows, none due (no
// launch): the schedule, six start tests, six gray-out tests and the clock label, all under
// the error-trap protocol with tracing off. Then the same with a run of every row still
// going (six children watched on the event loop, their icons shown, the history written).
// Beside them, the schedule alone.
#include <benchmark/benchmark.h>

#include "qt_benchmark_main.h"

#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <QLabel>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

#include "app/frm_main.h"
#include "timetable/launcher.h"
#include "app/second_timer.h"
#include "timetable/tick_schedule.h"
#include "errortrap/core/runtime.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "support/scoped_runtime.h"

namespace {

using morrowset::frmMain;
using morrowset::TickSchedule;

// A clock that moves one second further at each reading of the wall clock, so every tick
// looks at a new second.
class SteppingClock : public platform::TimeSource {
public:
    std::tm localNow() const override {
        std::tm now{};
        const int whole = now_.millisecond / 1000;
        now.tm_hour = whole / 3600;
        now.tm_min = whole / 60 % 60;
        return now;
    }
    platform::WallTime wallNow() const override {
        now_ = platform::WallTime::atPosition(now_.position() + 1000);
        if (now_.millisecond / 1000 >= 23 * 3600) now_ = {now_.day, 10};  // set back before 23:00
        return now_;
    }

private:
    mutable platform::WallTime now_{19723, 10};
};

// Six checked rows due at 23:00 to 23:05, which the stepping clock never reaches here.
std::string timetableFolder() {
    std::string folder = (std::filesystem::temp_directory_path() / "morrowset-tick-bench-XXXXXX").string();
    ::mkdtemp(folder.data());
    std::ofstream file(folder + "/Morrowset.ini", std::ios::binary);
    for (int row = 0; row < 6; ++row) file << " 1 \r\n/usr/bin/true row" << row << "\r\n23:0" << row << "\r\n";
    file.close();
    std::filesystem::permissions(folder + "/Morrowset.ini",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return folder;
}

// The window over those rows, on the stepping clock, in a runtime and a folder of its own;
// the folder goes when the window has gone.
class TickWindow {
public:
    TickWindow() : folder_(timetableFolder()) {
        runtime_->platform().app = platform::AppObject(folder_, platform::AppObject().exeName());
        runtime_->platform().clock = &clock_;
        window_.emplace();
        window_->tmrMain->setManual(true);
    }
    ~TickWindow() {
        window_.reset();
        std::filesystem::remove_all(folder_);
    }
    TickWindow(const TickWindow&) = delete;
    TickWindow& operator=(const TickWindow&) = delete;

    frmMain* operator->() { return &*window_; }
    const std::string& folder() const { return folder_; }

private:
    testsupport::ScopedRuntime runtime_;
    std::string folder_;
    SteppingClock clock_;
    std::optional<frmMain> window_;
};

void BM_ClockTickSixRows(benchmark::State& state) {
    TickWindow window;
    for (auto _ : state) window->tmrMain_Timer();
    if (window->chkEnabled.size() != 6 || window->txtTime->text().isEmpty()) state.SkipWithError("no tick ran");
}
BENCHMARK(BM_ClockTickSixRows);

void BM_ClockTickSixRowsWithRunsWatched(benchmark::State& state) {
    TickWindow window;
    for (int row = 0; row < 6; ++row) window->launcher().start({row, "sleep 600", morrowset::Trigger::Now, {}});
    QCoreApplication::processEvents();
    for (auto _ : state) window->tmrMain_Timer();
    if (window->launcher().running() != 6 || !std::filesystem::exists(window.folder() + "/history.jsonl"))
        state.SkipWithError("the runs were not watched");
    for (int row = 0; row < 6; ++row) ::kill(window->timetable().row(row).lastRun->pid, SIGKILL);
}
BENCHMARK(BM_ClockTickSixRowsWithRunsWatched);

void BM_ScheduleTick(benchmark::State& state) {
    TickSchedule schedule;
    TickSchedule::Rows rows;
    for (int row = 0; row < TickSchedule::kRows; ++row) rows[static_cast<std::size_t>(row)] = {true, 23 * 3600 + row * 60};
    SteppingClock clock;
    for (auto _ : state) benchmark::DoNotOptimize(schedule.tick(clock.wallNow(), rows));
}
BENCHMARK(BM_ScheduleTick);

}  // namespace

int main(int argc, char** argv) { return runQtBenchmarks(argc, argv); }
