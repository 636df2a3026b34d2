#pragma once
// What the timetable window's tests share: a fresh application folder, a clock the test
// sets, a record of the errors the window's procedures trap, and the window itself with
// its ticks delivered by the test.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/command_box.h"
#include "app/frm_main.h"
#include "app/second_timer.h"
#include "app/state_check_box.h"
#include "app/time_box.h"
#include "errortrap/core/runtime.h"
#include "errortrap/trace/procedure.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "platform/runtime_error.h"
#include "support/fake_clock.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

// Readable failure messages for the toolkit's strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace morrowset::apptest {

namespace fs = std::filesystem;

using testsupport::awaitFile;
using testsupport::readFile;
using testsupport::writeFile;

using testsupport::FakeClock;

// One error a procedure trapped.
struct Trapped {
    int32_t number;
    int32_t line;
    std::string procedure;
    bool operator==(const Trapped&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Trapped& t) {
    return out << "error " << t.number << " at " << t.line << " in " << t.procedure;
}

// Records every trapped error and answers with `action` (0 leave, 2 continue).
class TrapRecorder {
public:
    explicit TrapRecorder(int16_t action = 0)
        : handler_([this, action](const std::string& module, const std::string& procedure) {
              EXPECT_EQ(module, "frmMain.frm");
              const auto& error = platform::currentError();
              trapped.push_back({error.number, error.line, procedure});
              return action;
          }) {}
    std::vector<Trapped> trapped;

private:
    testsupport::ScopedTrapHandler handler_;
};

// Runs the window in a folder of its own with a settable clock. Construct the settings
// file (if any) before calling load().
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        giveFakes();
        clock.set(12, 0);
    }
    void TearDown() override { window.reset(); }

    // A fresh runtime in the same folder with the same clock, nothing started yet.
    void freshRuntime() {
        testRuntime.renew();
        giveFakes();
    }
    void giveFakes() {
        runIn(folder.path());
        testRuntime->platform().clock = &clock;
    }

    // Runs the program as if its executable lived in `path`.
    void runIn(const std::string& path) {
        testRuntime->platform().app = platform::AppObject(path, platform::AppObject().exeName());
    }

    std::string settingsPath() const { return folder / "Morrowset.ini"; }

    // Loads the window; its clock ticks only when the test says so. `trayThere` stands in
    // for the desktop's system tray (offscreen there is none).
    frmMain& load(std::function<bool()> trayThere = {}) {
        window = std::make_unique<frmMain>(nullptr, std::move(trayThere));
        window->tmrMain->setManual(true);
        return *window;
    }
    // Loads, shows and activates the window, for tests that move the focus.
    frmMain& loadShown() {
        load();
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }

    std::optional<int32_t> secondsOf(int row) const { return window->timetable().row(row).seconds; }
    std::vector<std::optional<int32_t>> rowSeconds() const {
        std::vector<std::optional<int32_t>> seconds;
        for (int row = 0; row < frmMain::kRows; ++row) seconds.push_back(secondsOf(row));
        return seconds;
    }

    void tickAt(double secondsSinceMidnight) {
        clock.set(secondsSinceMidnight);
        window->tmrMain->deliverTick();
    }

    // Fills a row through its controls: the command line (which checks the row), the time
    // text, the seconds as time entry would compute them, and the state.
    void setRow(int row, const std::string& commandLine, const std::string& time, int16_t state) {
        window->txtPath[row]->setText(QString::fromStdString(commandLine));
        window->mskTime[row]->setTimeText(time);
        if (time != Timetable::kNoTime)
            window->timetable().setSeconds(row, std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(3, 2)) * 60);
        window->chkEnabled[row]->setValue(state);
    }

    testsupport::ScopedRuntime testRuntime;
    testsupport::TempFolder folder;
    FakeClock clock;
    std::unique_ptr<frmMain> window;
};

}  // namespace morrowset::apptest
