// The clock tick: starting due rows with real processes, graying rows that cannot run, the
// clock label; and the "NOW" buttons.
#include "support/frm_main_fixture.h"
#include "support/recording_ui.h"
#include "platform/mail_transport.h"
#include "platform/process_start.h"

#include <csignal>

namespace morrowset {
namespace {

using namespace apptest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

int countOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

// The number on line `index` of `text`, 0 when there is none yet.
int nthNumber(const std::string& text, int index) {
    std::istringstream lines(text);
    int number = 0;
    for (int i = 0; i <= index; ++i)
        if (!(lines >> number)) return 0;
    return number;
}

class ClockTick : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        writeFile(settingsPath(), sixEmptyRowsFile());
        load();
        recordStarts();
    }
    // Every start really runs; the test also notes which command lines were started.
    void recordStarts() {
        testRuntime->platform().processStarter = [this](std::string_view commandLine) {
            started.emplace_back(commandLine);
            return platform::startProcess(commandLine);
        };
    }
    static std::string sixEmptyRowsFile() {
        std::string text;
        for (int i = 0; i < 6; ++i) text += " 0 \r\n\r\n##:##\r\n";
        return text;
    }
    // A command line whose program leaves a marker file named `name` with `text` in it.
    std::string marker(const std::string& name, const std::string& text = "ran") const {
        const std::string path = folder / name;
        return "sh -c 'echo " + text + " > \"$0.tmp\" && mv \"$0.tmp\" \"$0\"' '" + path + "'";
    }
    std::vector<int> states() const {
        std::vector<int> values;
        for (auto* box : window->chkEnabled) values.push_back(box->value());
        return values;
    }

    std::vector<std::string> started;
};

TEST_F(ClockTick, ADueRowStartsItsCommandLine) {
    setRow(2, marker("due"), "08:15", 1);
    tickAt(8 * 3600 + 15 * 60 - 1 + 0.99);
    EXPECT_THAT(started, IsEmpty()) << "not before its second";
    tickAt(8 * 3600 + 15 * 60 + 0.01);
    EXPECT_EQ(awaitFile(folder / "due"), "ran\n");
    tickAt(8 * 3600 + 15 * 60 + 0.60);
    EXPECT_EQ(started.size(), 1u) << "a second tick in the same second starts nothing";
}

TEST_F(ClockTick, RowsDueTogetherStartInRowOrder) {
    setRow(4, marker("four"), "09:00", 1);
    setRow(1, marker("one"), "09:00", 1);
    setRow(3, marker("three"), "09:00", 0);
    tickAt(9 * 3600 + 0.01);
    EXPECT_THAT(started, ElementsAre(marker("one"), marker("four")));
    EXPECT_EQ(awaitFile(folder / "one"), "ran\n");
    EXPECT_EQ(awaitFile(folder / "four"), "ran\n");
}

// A tick held two minutes by an error dialog is a late tick like any other: the row whose
// time passed meanwhile starts once when the next tick runs, and one trace line says which
// row and how late. The row that failed does not start again.
TEST_F(ClockTick, ARowDueWhileAnErrorDialogHeldTheProgramStartsOnceLateAndSaysSo) {
    window.reset();
    freshRuntime();
    writeFile(folder / "WLCLIENT.INI",
              "[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\nLog File=trace.log\r\n");
    load();
    recordStarts();
    setRow(0, "no-such-program-on-this-machine", "10:00", 1);
    setRow(1, marker("b"), "10:01", 1);
    tickAt(10 * 3600 - 1 + 0.01);
    {
        const testsupport::ScopedTrapHandler dialogOpenTwoMinutes([this](const std::string&, const std::string&) {
            clock.set(10 * 3600 + 120 + 0.5);
            return int16_t{0};
        });
        tickAt(10 * 3600 + 0.01);
    }
    EXPECT_THAT(started, ElementsAre("no-such-program-on-this-machine"));
    window->tmrMain->deliverTick();
    window->tmrMain->deliverTick();
    EXPECT_THAT(started, ElementsAre("no-such-program-on-this-machine", marker("b")));
    EXPECT_EQ(awaitFile(folder / "b"), "ran\n");
    const std::string trace = readFile(folder / "trace.log");
    EXPECT_THAT(trace, HasSubstr("[app_tests] LATE START row 2 (10:01) 60.500 s after its time\r\n"));
    EXPECT_THAT(trace, Not(HasSubstr("LATE START row 1")));
}

// The clock never waits for a person. With the dialog of a failed NOW left open, the clock
// goes on: a row due meanwhile starts within its second, and a row that fails meanwhile
// gets its dialog once the open one has closed; its report is written when that is answered.
TEST_F(ClockTick, ADialogLeftOpenHoldsNoStart) {
    window.reset();
    freshRuntime();
    writeFile(folder / "WLCLIENT.INI", "[log file]\r\nWrite To Disk=1\r\nLog File=error.log\r\n");
    testsupport::RecordingUi ui;
    testRuntime->setUi(&ui);
    load();
    recordStarts();
    setRow(0, "no-such-program-pressed-now", "23:00", 1);
    setRow(1, marker("on-time"), "00:53", 1);
    setRow(2, "no-such-program-at-0053", "00:53", 1);
    tickAt(52 * 60 + 0.01);

    std::string logWhileOpen;
    ui.whileShown = [&] {
        testRuntime->state().busy = true;  // the dialog is up and nobody answers it
        tickAt(53 * 60 + 0.01);
        EXPECT_EQ(ui.shown.size(), 1u) << "no second dialog over the first";
        EXPECT_EQ(awaitFile(folder / "on-time"), "ran\n");
        logWhileOpen = readFile(folder / "error.log");
        testRuntime->state().busy = false;  // Continue, hours later
    };
    QTest::mouseClick(window->cmdGo[0], Qt::LeftButton);

    EXPECT_THAT(started, ElementsAre("no-such-program-pressed-now", marker("on-time"), "no-such-program-at-0053"));
    EXPECT_EQ(countOf(logWhileOpen, "Error No.     53"), 0) << "no report before its dialog is answered";
    EXPECT_EQ(countOf(readFile(folder / "error.log"), "Error No.     53"), 2);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].procedure, "Sub cmdGo_Click");
    EXPECT_EQ(window->txtTime->text(), "12:53AM");
}

// Mail never holds the clock: with a sendmail that never returns, three failing rows are
// reported and mailed, and the good row after them starts in the same tick, while the
// first sendmail still hangs.
TEST_F(ClockTick, AHungSendmailDoesNotHoldTheRowsAfterAFailingOne) {
    window.reset();
    freshRuntime();
    writeFile(folder / "WLCLIENT.INI",
              "[preferences]\r\nSilent Run=1\r\n[email]\r\nAddress=ops@example.org\r\n"
              "[log file]\r\nWrite To Disk=1\r\nLog File=error.log\r\n");
    const std::string pids = folder / "sendmail-pids";
    const std::string script = folder / "sendmail";
    writeFile(script, "#!/bin/sh\necho $$ >> '" + pids + "'\ncat > /dev/null\nexec sleep 1000\n");
    fs::permissions(script, fs::perms::owner_all);
    ::setenv("SENDMAIL", script.c_str(), 1);
    load();
    recordStarts();
    for (int row = 0; row < 3; ++row) setRow(row, "no-such-program-on-this-machine", "10:00", 1);
    setRow(3, marker("good"), "10:00", 1);
    tickAt(10 * 3600 - 1 + 0.01);
    tickAt(10 * 3600 + 0.01);
    EXPECT_EQ(awaitFile(folder / "good"), "ran\n");

    // The first sendmail still hangs; the good row did not wait for it. End the three
    // hung sendmails one by one, as each gets its turn.
    for (int i = 0; i < 3; ++i) {
        pid_t pid = 0;
        for (int wait = 0; wait < 1000 && (pid = nthNumber(readFile(pids), i)) == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GT(pid, 0);
        if (i == 0) {
            EXPECT_EQ(::kill(pid, 0), 0) << "the first sendmail is still running";
        }
        ::kill(pid, SIGKILL);
    }
    EXPECT_TRUE(platform::SendmailTransport::waitUntilIdle(std::chrono::seconds(60)));
    ::unsetenv("SENDMAIL");
    const std::string log = readFile(folder / "error.log");
    EXPECT_EQ(countOf(log, "Error No.     53"), 3) << "three complete reports";
}

TEST_F(ClockTick, MidnightStartsTheRowsAtZeroAndTwentyFourOnce) {
    setRow(0, marker("at-0000"), "00:00", 1);
    setRow(1, marker("at-2400"), "24:00", 1);
    tickAt(86399.01);
    tickAt(86399.70);
    EXPECT_THAT(started, IsEmpty());
    tickAt(0.01);
    tickAt(0.40);
    tickAt(1.01);
    EXPECT_THAT(started, ElementsAre(marker("at-0000"), marker("at-2400")));
}

TEST_F(ClockTick, GraysRowsWithoutATimeOrACommandLine) {
    struct Row {
        std::string commandLine, time;
        int16_t before, after;
    };
    const Row rows[] = {
        {"true", "##:##", 1, 2},  // no time
        {"", "11:00", 0, 2},      // no command line, even when unchecked
        {"", "##:##", 0, 2},
        {"true", "11:00", 0, 0},  // complete rows keep their state
        {"true", "11:00", 1, 1},
        {"true", "11:00", 2, 2},
    };
    for (int i = 0; i < 6; ++i) setRow(i, rows[i].commandLine, rows[i].time, rows[i].before);
    tickAt(12 * 3600 + 0.01);
    EXPECT_THAT(states(), ElementsAre(2, 2, 2, 0, 1, 2));

    // Editing a grayed row's command line checks it; the next tick grays it again.
    window->txtPath[0]->setText("true --again");
    EXPECT_EQ(window->chkEnabled[0]->value(), 1);
    tickAt(12 * 3600 + 1.01);
    EXPECT_EQ(window->chkEnabled[0]->value(), 2);
}

TEST_F(ClockTick, ClockLabelShowsTheTimeOnTheTwelveHourClock) {
    EXPECT_TRUE(window->txtTime->text().isEmpty()) << "before the first tick";
    const std::pair<double, const char*> cases[] = {
        {13 * 3600 + 7 * 60, "01:07PM"}, {15 * 60, "12:15AM"}, {12 * 3600, "12:00PM"}, {11 * 3600 + 59 * 60 + 59, "11:59AM"}};
    for (const auto& [seconds, label] : cases) {
        tickAt(seconds + 0.01);
        EXPECT_EQ(window->txtTime->text().toStdString(), label);
    }
}

TEST_F(ClockTick, WhilePausedNothingStartsNothingGraysAndTheLabelStandsStill) {
    setRow(0, marker("paused"), "14:00", 1);
    tickAt(13 * 3600 + 59 * 60 + 58.01);
    window->cmdPause->click();
    setRow(1, "true", "##:##", 1);
    tickAt(14 * 3600 + 0.01);
    EXPECT_THAT(started, IsEmpty());
    EXPECT_EQ(window->chkEnabled[1]->value(), 1);
    EXPECT_EQ(window->txtTime->text(), "01:59PM");

    window->cmdPause->click();
    tickAt(14 * 3600 + 1.01);
    EXPECT_THAT(started, IsEmpty()) << "after a pause only the current second counts";
    EXPECT_EQ(window->chkEnabled[1]->value(), 2);
}

TEST_F(ClockTick, NowStartsOnlyACheckedRowAlsoWhilePaused) {
    setRow(0, marker("unchecked"), "15:00", 0);
    setRow(1, marker("grayed"), "15:00", 2);
    setRow(2, marker("checked"), "15:00", 1);
    for (int row = 0; row < 3; ++row) QTest::mouseClick(window->cmdGo[row], Qt::LeftButton);
    EXPECT_THAT(started, ElementsAre(marker("checked")));
    EXPECT_EQ(awaitFile(folder / "checked"), "ran\n");

    window->cmdPause->click();
    setRow(3, marker("while-paused"), "##:##", 1);
    QTest::mouseClick(window->cmdGo[3], Qt::LeftButton);
    EXPECT_EQ(awaitFile(folder / "while-paused"), "ran\n");
}

// A start that fails is reported from cmdGo_Click at line 30; the tick goes on with the
// next row.
TEST_F(ClockTick, AMissingProgramIsErrorFiftyThreeAndTheTickGoesOn) {
    setRow(0, "no-such-program-on-this-machine --now", "16:00", 1);
    setRow(1, "   ", "16:00", 1);
    setRow(2, marker("after"), "16:00", 1);
    TrapRecorder errors;
    tickAt(16 * 3600 + 0.01);
    EXPECT_THAT(errors.trapped,
                ElementsAre(Trapped{53, 30, "Sub cmdGo_Click"}, Trapped{5, 30, "Sub cmdGo_Click"}));
    EXPECT_EQ(awaitFile(folder / "after"), "ran\n");
    EXPECT_EQ(window->txtTime->text(), "04:00PM");
}

}  // namespace
}  // namespace morrowset
