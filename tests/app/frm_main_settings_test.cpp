// Loading the timetable from the settings file and saving it back.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QClipboard>
#include <algorithm>

#include "platform/error_texts.h"
#include "support/frm_main_fixture.h"
#include "timetable/settings_file.h"
#include "timetable/status_report.h"
#include "support/second_user.h"

namespace morrowset {
namespace {

using namespace apptest;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string rows(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

const std::string kEmptyRow = " 0 \r\n\r\n##:##\r\n";

std::string sixEmptyRows() {
    std::string text;
    for (int i = 0; i < 6; ++i) text += kEmptyRow;
    return text;
}

// Rows whose stored state is the one they come up with, so that saving gives the same bytes:
// commas, quotes, blanks at either end, midnight and 24:00.
const std::string kTimetable = rows({
    " 1 ", "cp a,b c", "23:30",
    " 1 ", "\"/opt/my tools/run\" --name=\"x, y\"", "07:05",
    " 2 ", "", "##:##",
    " 1 ", "  blanks around  ", "00:00",
    " 0 ", "", "24:00",
    " 1 ", "sh -c 'sort in | uniq > out'", "##:##",
});

class SettingsFile : public WindowTest {
protected:
    std::vector<std::string> commandLines() const {
        std::vector<std::string> lines;
        for (auto* path : window->txtPath) lines.push_back(path->text().toStdString());
        return lines;
    }
    // `--status` reads the file with the window's own load: the same rows, the same first
    // error, and the time shown as the file holds it.
    void expectStatusReadsAsTheWindow(int32_t error, const std::string& timeAsRead) {
        platform::ChildWatcher& watcher = platform::processWatcher();
        Scheduler status(folder.path(), watcher, Launcher::startWith(watcher), *testRuntime);
        const StatusReport report = statusReport(status, platform::wallNow());
        for (int row = 0; row < frmMain::kRows; ++row) {
            const Timetable::Row& read = status.timetable().row(row);
            const Timetable::Row& shown = window->timetable().row(row);
            EXPECT_EQ(std::tie(read.state, read.commandLine, read.timeText, read.seconds),
                      std::tie(shown.state, shown.commandLine, shown.timeText, shown.seconds))
                << "row " << row + 1;
        }
        EXPECT_EQ(report.problem, error == 0 ? std::string()
                                             : settingsPath() + ": error " + std::to_string(error) + " (" +
                                                   platform::standardErrorText(error) + ")\n");
        EXPECT_THAT(report.table, ::testing::HasSubstr("  " + timeAsRead + "  "));
    }
    std::vector<int> states() const {
        std::vector<int> values;
        for (auto* box : window->chkEnabled) values.push_back(box->value());
        return values;
    }
    std::vector<std::string> times() const {
        std::vector<std::string> texts;
        for (auto* box : window->mskTime) texts.push_back(box->timeText());
        return texts;
    }
    void expectEmptyRows() const {
        EXPECT_THAT(states(), ElementsAre(0, 0, 0, 0, 0, 0));
        EXPECT_THAT(commandLines(), ElementsAre("", "", "", "", "", ""));
        EXPECT_THAT(times(), ElementsAre("##:##", "##:##", "##:##", "##:##", "##:##", "##:##"));
        EXPECT_THAT(rowSeconds(), Each(std::nullopt));
    }
    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename());
        return names;
    }
};

TEST_F(SettingsFile, LoadsEveryFieldAndSavesTheSameBytes) {
    writeFile(settingsPath(), kTimetable);
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_THAT(commandLines(), ElementsAre("cp a,b c", "\"/opt/my tools/run\" --name=\"x, y\"", "",
                                            "  blanks around  ", "", "sh -c 'sort in | uniq > out'"));
    EXPECT_THAT(states(), ElementsAre(1, 1, 2, 1, 0, 1));
    EXPECT_THAT(times(), ElementsAre("23:30", "07:05", "##:##", "00:00", "24:00", "##:##"));
    EXPECT_THAT(rowSeconds(), ElementsAre(84600, 25500, std::nullopt, 0, 86400, std::nullopt));
    EXPECT_EQ(window->statusColor(), frmMain::kGreen);

    fs::remove(settingsPath());
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_EQ(readFile(settingsPath()), kTimetable);
    EXPECT_EQ(fs::status(settingsPath()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_THAT(filesInFolder(), ElementsAre("Morrowset.ini")) << "no temporary file left behind";
}

// Setting a command line checks its row, whatever state was stored; the stored state
// survives only on rows without a command line.
TEST_F(SettingsFile, StoredStateOfARowWithACommandLineBecomesChecked) {
    writeFile(settingsPath(), rows({" 0 ", "backup", "01:00", " 2 ", "report", "##:##", " 2 ", "", "##:##", " 0 ", "",
                                    "##:##", " 0 ", "", "##:##", " 0 ", "", "##:##"}));
    load();
    EXPECT_THAT(states(), ElementsAre(1, 1, 2, 0, 0, 0));
}

// The first start has nothing to read: no error report, nobody to close one.
TEST_F(SettingsFile, FirstStartWithoutAFileOpensEmptyAndSaveCreatesTheFile) {
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, IsEmpty());
    expectEmptyRows();
    EXPECT_EQ(window->statusColor(), frmMain::kGreen);
    EXPECT_TRUE(window->txtTime->text().isEmpty()) << "no tick yet";
    EXPECT_TRUE(window->tmrMain->isEnabled());

    window->cmdSave->click();
    EXPECT_EQ(readFile(settingsPath()), sixEmptyRows());
}

struct LoadFault {
    const char* what;
    std::string content;
    Trapped error;
};

// Each fault is reported where it happens; the rows read before it keep what they got.
TEST_F(SettingsFile, EachLoadFaultIsReportedAtItsStatement) {
    const std::string firstRow = rows({" 1 ", "first", "06:30"});
    const LoadFault faults[] = {
        {"too few lines", firstRow + rows({" 1 ", "second"}), {62, 290, "Sub Form_Load"}},
        {"empty file", "", {62, 250, "Sub Form_Load"}},
        {"state not a number", firstRow + rows({"one", "second", "07:00"}), {13, 260, "Sub Form_Load"}},
        {"state out of range", firstRow + rows({" 3 ", "second", "07:00"}), {380, 260, "Sub Form_Load"}},
        {"time not fitting the mask", firstRow + rows({" 1 ", "second", "7:00"}), {380, 300, "Sub Form_Load"}},
        {"letters for a time", firstRow + rows({" 1 ", "second", "ab:cd"}), {380, 300, "Sub Form_Load"}},
        {"hour not a number", firstRow + rows({" 1 ", "second", "0#:00"}), {13, 320, "Sub Form_Load"}},
        {"minute not a number", firstRow + rows({" 1 ", "second", "07:#0"}), {13, 330, "Sub Form_Load"}},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        writeFile(settingsPath(), fault.content);
        TrapRecorder errors;
        load();
        EXPECT_THAT(errors.trapped, ElementsAre(fault.error));
        if (!fault.content.empty()) {
            EXPECT_EQ(window->txtPath[0]->text(), "first");
            EXPECT_EQ(secondsOf(0), 6 * 3600 + 30 * 60);
        }
        EXPECT_EQ(window->statusColor(), frmMain::kGreen) << "set before the file is opened";
    }
}

// A file that names programs to run must be the user's own and writable by nobody else.
TEST_F(SettingsFile, RefusesAFileOthersMayChange) {
    writeFile(settingsPath(), kTimetable);
    fs::permissions(settingsPath(), fs::perms::group_write, fs::perm_options::add);
    {
        TrapRecorder errors;
        load();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{70, 230, "Sub Form_Load"}));
        expectEmptyRows();
    }
    fs::permissions(settingsPath(), fs::perms::owner_read | fs::perms::owner_write);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(settingsPath().c_str(), 65534, 65534), 0);
        TrapRecorder errors;
        load();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{70, 230, "Sub Form_Load"})) << "owned by another user";
        expectEmptyRows();
    }
}

TEST_F(SettingsFile, AFolderInThePlaceOfTheFileIsAFileAccessError) {
    fs::create_directory(settingsPath());
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, ElementsAre(Trapped{75, 230, "Sub Form_Load"}));
}

// Something is there, so this is no first start: a link that leads nowhere is reported.
TEST_F(SettingsFile, ALinkToNoFileIsStillReported) {
    fs::create_symlink(folder / "gone.ini", settingsPath());
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, ElementsAre(Trapped{53, 230, "Sub Form_Load"}));
}

// When the handler answers "continue" after the failed open, every read fails in turn.
TEST_F(SettingsFile, ContinuingAfterAFailedOpenFailsEachRead) {
    fs::create_directory(settingsPath());
    TrapRecorder errors(2);
    load();
    ASSERT_GE(errors.trapped.size(), 2u);
    EXPECT_EQ(errors.trapped[0], (Trapped{75, 230, "Sub Form_Load"}));
    EXPECT_EQ(errors.trapped[1], (Trapped{52, 250, "Sub Form_Load"}));
    for (const auto& error : errors.trapped) {
        if (error.number == 52) {
            EXPECT_THAT(error.line, ::testing::AnyOf(250, 270, 290));
        }
    }
    expectEmptyRows();
}

// Saving writes a new file and swaps it in only when complete: a save that fails half-way
// leaves the old file as it was and nothing open, so the next save works.
TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileIntact) {
    writeFile(settingsPath(), kTimetable);
    load();
    window->txtPath[1]->setText(QString(200, QChar('x')));

    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;  // past the first row, short of the second's long command line
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::vector<Trapped> trapped;
    {
        TrapRecorder errors;
        window->cmdSave->click();
        trapped = errors.trapped;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_THAT(trapped, ElementsAre(Trapped{61, 170, "Sub cmdSave_Click"}));
    EXPECT_EQ(readFile(settingsPath()), kTimetable);
    EXPECT_THAT(filesInFolder(), ElementsAre("Morrowset.ini"));

    TrapRecorder errors;
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_THAT(readFile(settingsPath()), ::testing::HasSubstr(std::string(200, 'x')));
}

// A folder that is gone is "Path not found", not "File not found".
TEST_F(SettingsFile, AnUnwritableFolderFailsTheSaveAtItsFirstStatement) {
    struct Case {
        std::string folder;
        int32_t number;
    };
    std::vector<Case> cases = {{folder / "missing", 76}};
    writeFile(folder / "plain-file", "");
    cases.push_back({folder / "plain-file", 76});
    if (::geteuid() != 0) {  // the superuser writes anywhere
        fs::create_directory(folder / "read-only");
        fs::permissions(folder / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({folder / "read-only", 70});
    }
    for (const auto& [path, number] : cases) {
        runIn(path);  // the window saves where it was loaded
        load();
        TrapRecorder errors;
        window->cmdSave->click();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{number, 140, "Sub cmdSave_Click"})) << path;
    }
}

// A time field that is reported at load leaves its row grayed at the next tick, as does a
// time that fits but never comes; those load without an error, with the seconds their
// figures give, and never start. What fits the time box is kept for the next save; what
// does not fit it is saved as "##:##". A row gets its seconds only once both figures are read.
TEST_F(SettingsFile, BadTimesAreReportedAndTheirRowsGrayed) {
    struct Case {
        const char* time;
        std::vector<Trapped> errors;
        const char* shown;
        std::optional<int32_t> seconds;
    };
    const Case cases[] = {
        {"7:00", {{380, 300, "Sub Form_Load"}}, "##:##", std::nullopt},
        {"ab:cd", {{380, 300, "Sub Form_Load"}}, "##:##", std::nullopt},
        {"0#:00", {{13, 320, "Sub Form_Load"}}, "0#:00", std::nullopt},
        {"07:#0", {{13, 330, "Sub Form_Load"}}, "07:#0", std::nullopt},
        {"25:00", {}, "25:00", 25 * 3600},
        {"99:99", {}, "99:99", 99 * 3600 + 99 * 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        std::string file = rows({" 1 ", "a", c.time});
        for (int row = 1; row < 6; ++row) file += kEmptyRow;
        writeFile(settingsPath(), file);
        std::vector<std::string> started;
        testRuntime->platform().processStarter = [&](std::string_view line) {
            started.emplace_back(line);
            return 0;
        };
        TrapRecorder errors;
        load();
        EXPECT_EQ(errors.trapped, c.errors);
        EXPECT_EQ(times()[0], c.shown);
        EXPECT_EQ(rowSeconds()[0], c.seconds);
        expectStatusReadsAsTheWindow(c.errors.empty() ? 0 : c.errors[0].number, c.time);
        tickAt(c.seconds.value_or(0) % 86400 + 0.01);
        EXPECT_EQ(states()[0], 2) << "grayed at the next tick";
        EXPECT_THAT(started, IsEmpty());
    }
}

// A command line is one line: line breaks typed, pasted or set become blanks, so the file
// keeps its eighteen lines and every row comes back.
TEST_F(SettingsFile, LineBreaksInACommandLineBecomeBlanksAndTheFileKeepsItsLines) {
    writeFile(settingsPath(), sixEmptyRows());
    load();
    QApplication::clipboard()->setText("echo one\necho two");
    window->txtPath[0]->setFocus();
    window->txtPath[0]->paste();
    window->txtPath[1]->setText("first\r\nsecond");
    window->mskTime[5]->setTimeText("05:00");
    EXPECT_EQ(window->txtPath[0]->text(), "echo one echo two");
    EXPECT_EQ(window->txtPath[1]->text(), "first  second");

    TrapRecorder errors;
    window->cmdSave->click();
    load();
    EXPECT_THAT(errors.trapped, IsEmpty());
    const std::string saved = readFile(settingsPath());
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 18);
    EXPECT_THAT(commandLines(), ElementsAre("echo one echo two", "first  second", "", "", "", ""));
    EXPECT_EQ(times()[5], "05:00");
}

// Command lines are kept whole up to 64 KiB, and byte for byte: a line that is not UTF-8
// (a file name in another encoding) is shown with replacement characters but saved and
// started unchanged.
TEST_F(SettingsFile, LongAndNonUtf8CommandLinesAreKeptByteForByte) {
    const std::string latin1 = "cat /srv/caf\xE9/r\xE9sum\xE9.txt";
    const std::string longLine = "echo " + std::string(CommandBox::kMaxLength - 5, 'x');
    std::string file = rows({" 1 ", latin1.c_str(), "08:00", " 1 ", longLine.c_str(), "08:00"});
    for (int row = 2; row < 6; ++row) file += kEmptyRow;
    writeFile(settingsPath(), file);
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_TRUE(window->txtPath[0]->text().contains(QChar::ReplacementCharacter));
    EXPECT_EQ(window->txtPath[1]->text().size(), CommandBox::kMaxLength);

    std::vector<std::string> started;
    testRuntime->platform().processStarter = [&](std::string_view line) {
        started.emplace_back(line);
        return 0;
    };
    window->cmdGo[0]->click();
    window->cmdGo[1]->click();
    EXPECT_EQ(started, (std::vector<std::string>{latin1, longLine}));

    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_EQ(readFile(settingsPath()), file);

    // A line typed in the box is as long as the user makes it, up to 64 KiB.
    window->txtPath[2]->setText(QString(CommandBox::kMaxLength, QChar('y')));
    EXPECT_EQ(window->txtPath[2]->commandLine().size(), static_cast<std::size_t>(CommandBox::kMaxLength));
    // Once edited, the box's own text is the command line.
    window->txtPath[0]->setText("cat /srv/cafe");
    EXPECT_EQ(window->txtPath[0]->commandLine(), "cat /srv/cafe");
}

// Saving keeps what the old file was: a read-only file is refused and left alone; a
// symbolic link stays a link and its target is replaced in the target's own folder.
TEST_F(SettingsFile, SaveRefusesAReadOnlyFileAndKeepsALinkALink) {
    writeFile(settingsPath(), kTimetable);
    load();
    fs::permissions(settingsPath(), fs::perms::owner_read);
    {
        TrapRecorder errors;
        window->cmdSave->click();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{75, 140, "Sub cmdSave_Click"}));
        EXPECT_EQ(readFile(settingsPath()), kTimetable);
        EXPECT_EQ(fs::status(settingsPath()).permissions(), fs::perms::owner_read);
    }

    fs::create_directory(folder / "real");
    fs::rename(settingsPath(), folder / "real/timetable.ini");
    fs::permissions(folder / "real/timetable.ini", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real/timetable.ini", settingsPath());
    window->txtPath[2]->setText("new row");
    TrapRecorder errors;
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_TRUE(fs::is_symlink(settingsPath()));
    EXPECT_EQ(fs::read_symlink(settingsPath()), "real/timetable.ini");
    EXPECT_THAT(readFile(folder / "real/timetable.ini"), ::testing::HasSubstr("\r\nnew row\r\n"));
    EXPECT_THAT(filesInFolder(), ::testing::UnorderedElementsAre("Morrowset.ini", "real"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "real"), fs::directory_iterator()), 1);
}

// A save killed half-way leaves no stray file: the new file has no name until it is
// complete, and a temporary one left by an earlier killed save goes at the next save.
TEST_F(SettingsFile, ASaveKilledHalfWayLeavesNoStrayFile) {
    writeFile(settingsPath(), kTimetable);
    const pid_t child = ::fork();
    if (child == 0) {
        settings::Writer writer;
        writer.open(settingsPath());
        writer.writeLine(" 1 ");
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_THAT(filesInFolder(), ElementsAre("Morrowset.ini"));
    EXPECT_EQ(readFile(settingsPath()), kTimetable);

}

// Save removes only what a killed save of its own can have left: a file with the save's
// own temporary name, a minute old. The user's backups, whatever their names, stay; so does
// a temporary file of a save still running in another copy of the program.
TEST_F(SettingsFile, SaveRemovesOnlyItsOwnStaleTemporaryFiles) {
    writeFile(settingsPath(), kTimetable);
    const std::string stale = ".Morrowset.ini.morrowset-save.Ab3xYz0Q9kLm";
    const std::string fresh = ".Morrowset.ini.morrowset-save.Zz9Yy8Xx7Ww6";
    const std::vector<std::string> usersOwn = {"Morrowset.ini.backup", "Morrowset.ini.2024ab", "Morrowset.ini.Ab3xYz",
                                               ".Morrowset.ini.swp", ".Morrowset.ini.morrowset-save.mine"};
    for (const std::string& name : usersOwn) writeFile(folder / name, "the user's own");
    writeFile(folder / stale, "left by a killed save");
    writeFile(folder / fresh, "another copy saving now");
    const timeval old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    ASSERT_EQ(::utimes((folder / stale).c_str(), old), 0);
    for (const std::string& name : usersOwn) ::utimes((folder / name).c_str(), old);

    load();
    TrapRecorder errors;
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    std::vector<std::string> expected = usersOwn;
    expected.push_back("Morrowset.ini");
    expected.push_back(fresh);
    EXPECT_THAT(filesInFolder(), ::testing::UnorderedElementsAreArray(expected));
    for (const std::string& name : usersOwn) EXPECT_EQ(readFile(folder / name), "the user's own") << name;
}

// A link named Morrowset.ini is followed only when the link, each link after it and every
// folder on the way belong to the user or to root. Another user's link (planted while the
// folder was open to others) or a way through another user's folder is refused: 70 at
// load, 75 at save, and the file it leads to is neither read nor replaced.
TEST_F(SettingsFile, ALinkOfAnotherUserOrThroughTheirFolderIsRefused) {
    const auto other = testsupport::secondUser();
    if (!other) GTEST_SKIP() << testsupport::secondUserMissing();
    const std::string victim = folder / "victims-file";
    writeFile(victim, kTimetable);
    fs::create_directory(folder / "theirs");
    ASSERT_EQ(::chown((folder / "theirs").c_str(), other->uid, other->gid), 0);
    fs::create_symlink(victim, folder / "theirs/leads-on");
    ASSERT_EQ(::lchown((folder / "theirs/leads-on").c_str(), other->uid, other->gid), 0);
    fs::create_directory(folder / "mine");

    struct Plant {
        const char* what;
        std::string target;
        bool linkIsTheirs;
    };
    const Plant plants[] = {
        {"another user's link", victim, true},
        {"a link through another user's folder", folder / "theirs/../victims-file", false},
        {"a link to a link in another user's folder", folder / "theirs/leads-on", false},
        {"a chain of the user's links ending in another user's", "mine/next", false},
    };
    fs::create_symlink(folder / "theirs/leads-on", folder / "mine/next");
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        fs::remove(settingsPath());
        fs::create_symlink(plant.target, settingsPath());
        if (plant.linkIsTheirs) {
            ASSERT_EQ(::lchown(settingsPath().c_str(), other->uid, other->gid), 0);
        }
        {
            TrapRecorder errors;
            load();
            EXPECT_THAT(errors.trapped, ElementsAre(Trapped{70, 230, "Sub Form_Load"}));
            expectEmptyRows();
        }
        TrapRecorder errors;
        window->cmdSave->click();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{75, 140, "Sub cmdSave_Click"}));
        EXPECT_EQ(readFile(victim), kTimetable);
        EXPECT_TRUE(fs::is_symlink(settingsPath()));
    }

    // The same way through folders of the user's own is followed.
    fs::remove(settingsPath());
    fs::create_symlink("mine/../victims-file", settingsPath());
    TrapRecorder errors;
    load();
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
}

}  // namespace
}  // namespace morrowset
