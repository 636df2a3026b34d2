// `Morrowset --status`: the table from the settings file and the run history alone.
#include "timetable/status_report.h"

#include <gmock/gmock.h>

#include "timetable/run_history.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

using testsupport::writeFile;

TEST(StatusReport, OneLinePerRowFromTheSettingsAndTheHistory) {
    testsupport::TempFolder app;
    writeFile(app / "Morrowset.ini",
              " 1 \r\n/usr/local/bin/backup-home --quiet\r\n02:30\r\n"
              " 0 \r\nreport\r\n14:00\r\n"  // a command line checks its row, as in the window
              " 1 \r\nno time\r\n##:##\r\n"
              " 0 \r\n\r\n##:##\r\n 0 \r\n\r\n##:##\r\n 0 \r\n\r\n##:##\r\n");
    RunRecord run;
    run.id = "a";
    run.command = "/usr/local/bin/backup-home --quiet";
    run.trigger = Trigger::Clock;
    run.started = {{20433, (2 * 3600 + 30 * 60) * 1000 + 8}, 3600};
    run.pid = 99;
    run.ended = run.started;
    run.durationMs = 64'012;
    run.exitStatus = 3;
    RunHistory::append(app.path(), RunHistory::startLine(run) + RunHistory::endLine(run));

    const StatusReport report = statusReport(app.path(), {20433, (10 * 3600 + 47 * 60) * 1000});
    EXPECT_EQ(report.problem, "");
    EXPECT_EQ(report.table,
              "ROW  ENABLED  TIME   NEXT                        LAST            RESULT         COMMAND\n"
              "1    yes      02:30  tomorrow 02:30              today 02:30:00  exit status 3  /usr/local/bin/backup-home --quiet\n"
              "2    yes      14:00  today 14:00, in 3 h 13 min  -               -              report\n"
              "3    grayed   -      not scheduled               -               -              no time\n"
              "4    no       -      not scheduled               -               -\n"
              "5    no       -      not scheduled               -               -\n"
              "6    no       -      not scheduled               -               -\n");
}

// Before the first Save: no error, just the empty rows and a word on why.
TEST(StatusReport, WithoutASettingsFileItSaysNoTimetableWasSavedYet) {
    testsupport::TempFolder app;
    const StatusReport report = statusReport(app.path(), {20433, 0});
    EXPECT_EQ(report.problem, app / "Morrowset.ini" + ": no timetable saved yet\n");
    EXPECT_THAT(report.table, ::testing::HasSubstr("\n6    no       -     not scheduled  -     -\n"));
}

}  // namespace
}  // namespace morrowset
